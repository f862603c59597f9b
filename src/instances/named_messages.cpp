#include "instances/named_messages.h"

#include <array>
#include <cerrno>

#include "errors/exceptions.h"

CNamedMessageRegistry& CNamedMessageRegistry::Instance() {
  static CNamedMessageRegistry registry;
  return registry;
}

const CNamedMessage& CNamedMessageRegistry::Register(std::string_view name) {
  const std::lock_guard lock(m_lock);
  if (const auto known = m_entries.find(name); known != m_entries.end()) return *known->second;

  const std::string base = std::string(kNamePrefix).append(name);
  const std::string syncName = base + std::string(kNameSuffix);
  const std::string asyncName = base + std::string(kAsyncSuffix) + std::string(kNameSuffix);
  // Both numbers or neither: check the room before taking any. A full name may already be
  // known ("X-Async" is registered under the same full name as the posted number of "X").
  const size_t needed = (m_numbers.count(syncName) == 0) + (m_numbers.count(asyncName) == 0);
  if (m_numbers.size() + needed > size_t{kLastNumber - kFirstNumber + 1}) {
    throw CVHXWinAPI(kSeverityInternal, ERANGE);
  }

  CNamedMessage& entry = m_storage.emplace_back();
  entry.name = std::string(name);
  entry.sync = NumberOf(syncName);
  entry.async = NumberOf(asyncName);
  if (!m_byNumber) {
    m_byNumber = std::make_unique<std::unordered_map<uint32_t, const CNamedMessage*>>();
  }
  // A number shared through such a full name keeps pointing at its first owner.
  m_byNumber->try_emplace(entry.sync, &entry);
  m_byNumber->try_emplace(entry.async, &entry);
  m_entries.emplace(entry.name, &entry);
  return entry;
}

uint32_t CNamedMessageRegistry::NumberOf(const std::string& registeredName) {
  const auto next = static_cast<uint32_t>(kFirstNumber + m_numbers.size());
  return m_numbers.try_emplace(registeredName, next).first->second;
}

const CNamedMessage* CNamedMessageRegistry::Find(uint32_t number) const {
  if (number < kFirstNumber || number > kLastNumber) return nullptr;
  const std::lock_guard lock(m_lock);
  if (!m_byNumber) return nullptr;
  const auto found = m_byNumber->find(number);
  return found == m_byNumber->end() ? nullptr : found->second;
}

bool CNamedMessageRegistry::IsRegistered(uint32_t number) const {
  return Find(number) != nullptr;
}

const char* const kNamedMessageNames[kNamedMessageCount] = {
    "AlphaButtonChanged",
    "AlphaButtonMenuItem",
    "AltKeyEvt",
    "AreYouMe",
    "Cancel",
    "VHEditUpdate",
    "StructLinkAction",
    "StructLinkInit",
    "StructLinkPending",
    "DatasetRead",
    "DialogInitialized",
    "DocWndActive",
    "DocWndClosed",
    "DocWndInactive",
    "DocWndModified",
    "EditCancel",
    "EditEnd",
    "EditShift",
    "EditStart",
    "ExitSizeMove",
    "FrameRendered",
    "GetAnchorEdges",
    "GraphicsDoFindHKL",
    "HasEmptyWindow",
    "HeaderChanged",
    "Idle",
    "InitialOpen",
    "LogFlush",
    "LogShow",
    "LogString",
    "LogStringBuffer",
    "LogStringColor",
    "LogSubtitleNewOutput",
    "MainFrameActivate",
    "NewTool",
    "OpenDocumentFile",
    "OpenDocumentFiles",
    "OptionsApplied",
    "PaletteOpened",
    "PaletteSync",
    "PaneModified",
    "ParamMixtureModifed",
    "ParamOccupancyModifed",
    "ParametersPaneConfig",
    "PlotCursorChanged",
    "ProcessShellCmd",
    "ReadDocumentBegin",
    "ReadDocumentEnd",
    "ResetPalette",
    "ResetPane",
    "ScreenMode",
    "ShowHidePalettes",
    "SplitterDoubleClick",
    "SplitterRecalcLayout",
    "StatusIncProgress",
    "StatusSetProgress",
    "StatusSetSubtitle",
    "SubEditExitSizeMove",
    "ToolbarChange",
    "ToolGetPlotRect",
    "ToolUpdateRequest",
    "Zoom",
};

namespace {

// Registers the program's messages in table order, once.
const std::array<const CNamedMessage*, kNamedMessageCount>& ProgramMessages() {
  static const auto messages = [] {
    std::array<const CNamedMessage*, kNamedMessageCount> entries{};
    for (size_t index = 0; index < kNamedMessageCount; ++index) {
      entries[index] = &CNamedMessageRegistry::Instance().Register(kNamedMessageNames[index]);
    }
    return entries;
  }();
  return messages;
}

// Every message is registered before any window exists.
[[maybe_unused]] const bool kRegisteredAtStartUp = (ProgramMessages(), true);

}  // namespace

const CNamedMessage& NamedMessage(VHMsgName message) {
  return *ProgramMessages()[static_cast<size_t>(message)];
}
