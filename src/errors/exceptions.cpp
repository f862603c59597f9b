#include "errors/exceptions.h"

#include <cerrno>
#include <new>

#include "resources/strings.h"

CVHXMFC::CVHXMFC(unsigned severity, long long code, unsigned location, std::string platformText)
    : CVHException(Deferred{}, severity, code, location),
      m_platformText(platformText.substr(0, kMaxPlatformTextLength)) {
  Initialise(kResourceId, {});
}

std::unique_ptr<CVHException> CVHXMFC::Clone() const { return std::make_unique<CVHXMFC>(*this); }

void CVHXMFC::Format(const CFormatArguments& arguments) {
  CVHException::Format(arguments);
  if (m_platformText.empty()) return;
  std::string message(ResourceString(kSystemErrorText));
  const std::string code = std::to_string(Code());
  for (size_t at = message.find("^0"); at != std::string::npos; at = message.find("^0", at))
    message.replace(at, 2, code);
  m_message = message;
  m_explanation = m_platformText;
}

std::unique_ptr<CVHException> ConvertException(std::exception_ptr error, unsigned severity) {
  const long long systemError = errno;
  try {
    std::rethrow_exception(error);
  } catch (const CVHException& ours) {
    return ours.Clone();
  } catch (const std::bad_alloc&) {
    if (severity == kSeverityFatal) return std::make_unique<CVHXOutOfMemory>(severity);
    return std::make_unique<CVHXAllocationFailed>(severity);
  } catch (const std::exception& platform) {
    return std::make_unique<CVHXMFC>(severity, systemError, 0, platform.what());
  } catch (...) {
    return std::make_unique<CVHXUnknown>(severity);
  }
}
