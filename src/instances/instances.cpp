#include "instances/instances.h"

#include <utility>

CInstanceResponder::CInstanceResponder(CDocumentIsEmpty documentIsEmpty, CRunRequest runRequest)
    : m_documentIsEmpty(std::move(documentIsEmpty)), m_runRequest(std::move(runRequest)) {}

CVHMsgAnswer CInstanceResponder::Answer(uint32_t number, std::span<const uint8_t> block) const {
  const auto answer = static_cast<CVHMsgAnswer>(number);
  if (number == NamedMessage(VHMsgName::AreYouMe).sync) return answer;
  if (number == NamedMessage(VHMsgName::HasEmptyWindow).sync) {
    return m_documentIsEmpty() ? answer : 0;
  }
  if (number == NamedMessage(VHMsgName::ProcessShellCmd).sync) {
    const auto commandLine = DeserialiseCommandLine(block);
    if (!commandLine) return 0;
    m_runRequest(*commandLine);
    return answer;
  }
  return 0;
}

std::optional<CVHMsgAnswer> CInstanceFinder::Ask(const CCopyWindow& window,
                                                 const CNamedMessage& message,
                                                 std::span<const uint8_t> block) const {
  return m_transport.Send(window, message.sync, block, CInstanceTransport::kSendTimeout);
}

std::optional<CCopyWindow> CInstanceFinder::FindOtherCopy(const CNamedMessage& question) const {
  const uint64_t ownProcess = m_transport.OwnProcess();
  for (const CCopyWindow& window : m_transport.MainWindows()) {
    if (window.process == ownProcess) continue;
    if (Ask(window, question, {}) == static_cast<CVHMsgAnswer>(question.sync)) return window;
  }
  return std::nullopt;
}

bool CInstanceFinder::HandOver(const CCopyWindow& window,
                               const CVHCommandLineInfo& commandLine) const {
  const CNamedMessage& message = NamedMessage(VHMsgName::ProcessShellCmd);
  const std::vector<uint8_t> block = SerialiseCommandLine(commandLine);
  return Ask(window, message, block) == static_cast<CVHMsgAnswer>(message.sync);
}

CInstanceFinder::EStartup CInstanceFinder::DecideStartup(
    const CVHCommandLineInfo& commandLine) const {
  if (commandLine.files.empty()) return EStartup::kStartNormally;
  if (!FindOtherCopy(NamedMessage(VHMsgName::AreYouMe))) return EStartup::kStartNormally;
  const auto emptyCopy = FindOtherCopy(NamedMessage(VHMsgName::HasEmptyWindow));
  if (!emptyCopy) return EStartup::kStartNormally;
  m_transport.BringToFront(*emptyCopy);
  // Files a copy did not take would be lost if this copy ended.
  return HandOver(*emptyCopy, commandLine) ? EStartup::kHandedOver : EStartup::kStartNormally;
}
