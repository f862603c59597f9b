// Named messages: message numbers handed out by name, so that every window, thread and running
// copy that knows a name agrees on its number. Each name gets two numbers, one for messages
// that are sent and answered and one for messages that are posted, so a receiver can tell
// whether a sender waits for it. Our platform has no window-system registry of names, so the
// registry lives in the process; copies of the program still agree, because they register the
// same names in the same order during static initialisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

struct CNamedMessage {
  std::string name;
  uint32_t sync = 0;   // sent, the sender waits for the answer
  uint32_t async = 0;  // posted
};

class CNamedMessageRegistry {
 public:
  // The numbers that name registration may hand out.
  static constexpr uint32_t kFirstNumber = 49152;
  static constexpr uint32_t kLastNumber = 65535;
  static constexpr std::string_view kNamePrefix = "VHMsg";
  static constexpr std::string_view kAsyncSuffix = "-Async";
  static constexpr std::string_view kNameSuffix = "-13dca11d-78cb-484a-892b-10aa643d11ae";

  // The process's registry, built on first use so that registrations from any static
  // initialiser find it.
  static CNamedMessageRegistry& Instance();

  // The entry of `name`, registering it on first call; the same name always gives the same
  // entry. Throws CVHXWinAPI when the range has no numbers left for it: a name without
  // numbers would silently reach nobody.
  const CNamedMessage& Register(std::string_view name);

  // Within the range and known: a message that may be delivered.
  bool IsRegistered(uint32_t number) const;
  // The entry a number belongs to; null for an unregistered number.
  const CNamedMessage* Find(uint32_t number) const;

 private:
  // The number of a full registered name, handed out in order of first request.
  uint32_t NumberOf(const std::string& registeredName);

  mutable std::mutex m_lock;
  std::map<std::string, uint32_t> m_numbers;  // full registered name to number
  std::map<std::string, const CNamedMessage*, std::less<>> m_entries;
  std::deque<CNamedMessage> m_storage;  // entries never move, so references stay valid
  // Number back to its entry; created on first registration.
  std::unique_ptr<std::unordered_map<uint32_t, const CNamedMessage*>> m_byNumber;
};

// The messages the program uses, in the order they are registered.
enum class VHMsgName : unsigned {
  AlphaButtonChanged,
  AlphaButtonMenuItem,
  AltKeyEvt,
  AreYouMe,
  Cancel,
  VHEditUpdate,
  StructLinkAction,
  StructLinkInit,
  StructLinkPending,
  DatasetRead,
  DialogInitialized,
  DocWndActive,
  DocWndClosed,
  DocWndInactive,
  DocWndModified,
  EditCancel,
  EditEnd,
  EditShift,
  EditStart,
  ExitSizeMove,
  FrameRendered,
  GetAnchorEdges,
  GraphicsDoFindHKL,
  HasEmptyWindow,
  HeaderChanged,
  Idle,
  InitialOpen,
  LogFlush,
  LogShow,
  LogString,
  LogStringBuffer,
  LogStringColor,
  LogSubtitleNewOutput,
  MainFrameActivate,
  NewTool,
  OpenDocumentFile,
  OpenDocumentFiles,
  OptionsApplied,
  PaletteOpened,
  PaletteSync,
  PaneModified,
  ParamMixtureModifed,
  ParamOccupancyModifed,
  ParametersPaneConfig,
  PlotCursorChanged,
  ProcessShellCmd,
  ReadDocumentBegin,
  ReadDocumentEnd,
  ResetPalette,
  ResetPane,
  ScreenMode,
  ShowHidePalettes,
  SplitterDoubleClick,
  SplitterRecalcLayout,
  StatusIncProgress,
  StatusSetProgress,
  StatusSetSubtitle,
  SubEditExitSizeMove,
  ToolbarChange,
  ToolGetPlotRect,
  ToolUpdateRequest,
  Zoom,
};
inline constexpr size_t kNamedMessageCount = static_cast<size_t>(VHMsgName::Zoom) + 1;

// The name of each message, indexed by VHMsgName.
extern const char* const kNamedMessageNames[kNamedMessageCount];

// The registered entry of one of the program's messages, from the process's registry.
const CNamedMessage& NamedMessage(VHMsgName message);
