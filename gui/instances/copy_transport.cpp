#include "gui/instances/copy_transport.h"

#include <sys/un.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include "gui/instances/running_copies.h"
#include "instances/named_messages.h"

namespace {

constexpr std::string_view kRequestMagic = "VHMS";
constexpr qsizetype kHeaderSize = 12;
constexpr qsizetype kAnswerSize = 8;
// Far above any command line (thousands of paths) and far below what would hurt to hold.
constexpr size_t kLargestBlock = 16u << 20;
// A client that has not sent its whole request by then never will: the copies that ask give up
// after 500 ms.
constexpr int kRequestTimeout = 5000;  // ms
// Room in the socket's name for the longest process id.
constexpr qsizetype kProcessDigits = 10;
constexpr qsizetype kLongestSocketPath = sizeof(sockaddr_un{}.sun_path) - 1;

void AppendUInt32(QByteArray& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.append(static_cast<char>(value >> shift));
}

uint32_t ReadUInt32(const char* bytes) {
  uint32_t value = 0;
  for (int index = 3; index >= 0; --index)
    value = (value << 8) | static_cast<uint8_t>(bytes[index]);
  return value;
}

QByteArray EncodeRequest(uint32_t number, std::span<const uint8_t> block) {
  QByteArray bytes(kRequestMagic.data(), static_cast<qsizetype>(kRequestMagic.size()));
  AppendUInt32(bytes, number);
  AppendUInt32(bytes, static_cast<uint32_t>(block.size()));
  bytes.append(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size()));
  return bytes;
}

QByteArray EncodeAnswer(CVHMsgAnswer answer) {
  const auto value = static_cast<uint64_t>(static_cast<int64_t>(answer));
  QByteArray bytes;
  for (int shift = 0; shift < 64; shift += 8) bytes.append(static_cast<char>(value >> shift));
  return bytes;
}

CVHMsgAnswer DecodeAnswer(const QByteArray& bytes) {
  uint64_t value = 0;
  for (int index = kAnswerSize - 1; index >= 0; --index) {
    value = (value << 8) | static_cast<uint8_t>(bytes[index]);
  }
  return static_cast<CVHMsgAnswer>(static_cast<int64_t>(value));
}

enum class ERequest { kIncomplete, kDamaged, kWhole };

struct CRequest {
  uint32_t number = 0;
  std::span<const uint8_t> block;
};

// Judges what has arrived so far. Garbage is recognised from its first bytes, and a request
// never grows beyond its declared length, so a client cannot make the server hold much.
ERequest ParseRequest(const QByteArray& received, CRequest& request) {
  const auto magicBytes = std::min(received.size(), static_cast<qsizetype>(kRequestMagic.size()));
  if (std::memcmp(received.constData(), kRequestMagic.data(), static_cast<size_t>(magicBytes))) {
    return ERequest::kDamaged;
  }
  if (received.size() < kHeaderSize) return ERequest::kIncomplete;
  const uint32_t length = ReadUInt32(received.constData() + 8);
  if (length > kLargestBlock) return ERequest::kDamaged;
  const qsizetype size = kHeaderSize + static_cast<qsizetype>(length);
  if (received.size() < size) return ERequest::kIncomplete;
  if (received.size() > size) return ERequest::kDamaged;
  request.number = ReadUInt32(received.constData() + 4);
  request.block = {reinterpret_cast<const uint8_t*>(received.constData()) + kHeaderSize, length};
  return ERequest::kWhole;
}

int Remaining(const QDeadlineTimer& deadline) {
  return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

bool IsSocket(const QString& path) {
  std::error_code error;
  return std::filesystem::is_socket(QFile::encodeName(path).toStdString(), error);
}

// Connects within the deadline. A socket that refuses the connection has nobody listening on
// it: its copy crashed, and the socket goes.
bool Connect(QLocalSocket& socket, const QString& path, const QDeadlineTimer& deadline) {
  socket.connectToServer(path);
  if (socket.waitForConnected(Remaining(deadline))) return true;
  if (socket.error() == QLocalSocket::ConnectionRefusedError && IsSocket(path)) {
    QLocalServer::removeServer(path);
  }
  return false;
}

// The socket's name without the process id.
QString SocketBaseName(const QString& folder, const CUserIdentity& identity) {
  const QString name = QString::fromStdString(InstanceLockName(CInstanceScope::kUser, identity));
  const qsizetype length =
      QFile::encodeName(folder).size() + 1 + QFile::encodeName(name).size() + 1 + kProcessDigits;
  if (length <= kLongestSocketPath) return name;
  const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256);
  return "Tessaline-" + QString::fromLatin1(digest.toHex().left(16));
}

std::optional<uint64_t> ProcessOfSocket(std::string_view fileName, std::string_view prefix) {
  if (!fileName.starts_with(prefix)) return std::nullopt;
  const std::string_view digits = fileName.substr(prefix.size());
  if (digits.empty() || digits.size() > static_cast<size_t>(kProcessDigits)) return std::nullopt;
  uint64_t process = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return std::nullopt;
    process = process * 10 + static_cast<uint64_t>(digit - '0');
  }
  return process;
}

}  // namespace

QString RunningCopiesFolder() {
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

QString CopySocketPath(const QString& folder, const CUserIdentity& identity, uint64_t process) {
  return folder + "/" + SocketBaseName(folder, identity) + "-" + QString::number(process);
}

CLocalSocketTransport::CLocalSocketTransport(const QString& folder, const CUserIdentity& identity)
    : m_folder(folder), m_identity(identity) {}

uint64_t CLocalSocketTransport::OwnProcess() const {
  return static_cast<uint64_t>(QCoreApplication::applicationPid());
}

std::vector<CCopyWindow> CLocalSocketTransport::MainWindows() {
  namespace fs = std::filesystem;
  const std::string prefix =
      QFile::encodeName(SocketBaseName(m_folder, m_identity) + "-").toStdString();
  std::vector<std::tuple<fs::file_time_type, uint64_t, std::string>> found;
  std::error_code error;
  for (fs::directory_iterator entry(QFile::encodeName(m_folder).toStdString(), error), end;
       !error && entry != end; entry.increment(error)) {
    const auto process = ProcessOfSocket(entry->path().filename().native(), prefix);
    std::error_code entryError;
    if (!process || !entry->is_socket(entryError)) continue;
    const auto started = fs::last_write_time(entry->path(), entryError);
    found.emplace_back(started, *process, entry->path().native());
  }
  std::sort(found.begin(), found.end());
  std::vector<CCopyWindow> windows;
  for (auto& [started, process, path] : found) windows.push_back({process, std::move(path)});
  return windows;
}

std::optional<CVHMsgAnswer> CLocalSocketTransport::Send(const CCopyWindow& window, uint32_t number,
                                                        std::span<const uint8_t> block,
                                                        uint64_t timeout) {
  if (block.size() > kLargestBlock) return std::nullopt;
  const QDeadlineTimer deadline(static_cast<qint64>(std::min<uint64_t>(timeout, INT_MAX)));
  QLocalSocket socket;
  if (!Connect(socket, QFile::decodeName(window.address.c_str()), deadline)) return std::nullopt;
  socket.write(EncodeRequest(number, block));
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(Remaining(deadline))) return std::nullopt;
  }
  while (socket.bytesAvailable() < kAnswerSize) {
    if (!socket.waitForReadyRead(Remaining(deadline))) return std::nullopt;
  }
  return DecodeAnswer(socket.read(kAnswerSize));
}

void CLocalSocketTransport::BringToFront(const CCopyWindow& window) {
  Send(window, NamedMessage(VHMsgName::MainFrameActivate).sync, {}, kSendTimeout);
}

void CLocalSocketTransport::RemoveStaleSockets() {
  for (const CCopyWindow& window : MainWindows()) {
    QLocalSocket socket;
    Connect(socket, QFile::decodeName(window.address.c_str()), QDeadlineTimer(kSendTimeout));
  }
}

CCopyServer::CCopyServer(CCallbacks callbacks, const QString& folder, const CUserIdentity& identity)
    : m_callbacks(std::move(callbacks)),
      m_responder([this] { return m_callbacks.documentIsEmpty && m_callbacks.documentIsEmpty(); },
                  [this](const CVHCommandLineInfo& commandLine) {
                    QMetaObject::invokeMethod(
                        m_server.get(),
                        [this, commandLine] {
                          if (m_callbacks.runCommandLine) m_callbacks.runCommandLine(commandLine);
                        },
                        Qt::QueuedConnection);
                  }),
      m_path(CopySocketPath(folder, identity, QCoreApplication::applicationPid())),
      m_server(std::make_unique<QLocalServer>()) {
  QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                   [this] { Accept(); });
}

CCopyServer::~CCopyServer() = default;

bool CCopyServer::Listen() {
  // Only a copy with this process id can have made a socket of this name, and this copy has
  // not: it is a crashed copy's.
  QLocalServer::removeServer(m_path);
  const bool listening = m_server->listen(m_path);
  EndStartupTurn();
  return listening;
}

void CCopyServer::Accept() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    auto received = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QLocalSocket::readyRead, socket,
                     [this, socket, received] { Read(*socket, *received); });
    QTimer::singleShot(kRequestTimeout, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    if (socket->bytesAvailable() > 0) Read(*socket, *received);
  }
}

void CCopyServer::Read(QLocalSocket& socket, QByteArray& received) {
  received += socket.readAll();
  CRequest request;
  const ERequest state = ParseRequest(received, request);
  if (state == ERequest::kIncomplete) return;
  const CVHMsgAnswer answer = state == ERequest::kWhole ? Answer(request.number, request.block) : 0;
  // One request per connection; whatever follows it is not read.
  QObject::disconnect(&socket, &QLocalSocket::readyRead, nullptr, nullptr);
  socket.write(EncodeAnswer(answer));
  socket.disconnectFromServer();
}

CVHMsgAnswer CCopyServer::Answer(uint32_t number, std::span<const uint8_t> block) {
  if (number == NamedMessage(VHMsgName::MainFrameActivate).sync) {
    QMetaObject::invokeMethod(
        m_server.get(),
        [this] {
          if (m_callbacks.bringToFront) m_callbacks.bringToFront();
        },
        Qt::QueuedConnection);
    return static_cast<CVHMsgAnswer>(number);
  }
  return m_responder.Answer(number, block);
}
