// Running copies over real local sockets: this test process starts up as a new copy beside
// stand-in copies in processes of their own (tessaline_copy_stub), in a folder of its own so
// that no copy the user runs is ever reached.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <list>
#include <memory>
#include <sstream>
#include <string>

#include "errors/exceptions.h"
#include "gui/instances/copy_locks.h"
#include "gui/instances/copy_transport.h"
#include "gui/instances/running_copies.h"
#include "instances/named_messages.h"

namespace {

namespace fs = std::filesystem;

// A loaded machine with sanitizers may take its time to start a process; waiting long costs
// nothing when all goes well.
constexpr int kStartTimeout = 60000;    // ms
constexpr int kArrivalTimeout = 20000;  // ms

const CVHCommandLineInfo kOpenTwoFiles{CVHCommandLineInfo::ERequest::kOpen,
                                       {"/data/quartz.cif", "two words \xc3\xa9.vhtx"}};

uint32_t Sync(VHMsgName message) {
  return NamedMessage(message).sync;
}

// Sockets, timers and QProcess want an application object.
void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tessaline_copies_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
}

std::string ReadText(const fs::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Sends raw bytes to a server and returns all it answers before it closes the connection.
QByteArray Exchange(const QString& server, const QByteArray& request) {
  QLocalSocket socket;
  socket.connectToServer(server);
  if (!socket.waitForConnected(kArrivalTimeout)) return "not connected";
  socket.write(request);
  socket.waitForBytesWritten(kArrivalTimeout);
  const QDeadlineTimer deadline(kArrivalTimeout);
  while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
    socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
  }
  return socket.readAll();
}

QByteArray Request(uint32_t number, uint32_t length, const QByteArray& block = {}) {
  QByteArray bytes("VHMS");
  for (const uint32_t value : {number, length}) {
    for (int shift = 0; shift < 32; shift += 8) bytes.append(static_cast<char>(value >> shift));
  }
  return bytes + block;
}

QByteArray AnswerBytes(uint64_t answer) {
  QByteArray bytes;
  for (int shift = 0; shift < 64; shift += 8) bytes.append(static_cast<char>(answer >> shift));
  return bytes;
}

class RunningCopies : public testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  RunningCopies() {
    // Short, so that the sockets keep their full names on most machines.
    fs::remove_all(m_folder);
    fs::create_directories(m_folder);
  }
  ~RunningCopies() override {
    for (const auto& copy : m_copies) Stop(*copy);
    fs::remove_all(m_folder);
  }

  QString Folder() const { return QString::fromStdString(m_folder.string()); }
  fs::path Log(const std::string& name) const { return m_folder / (name + ".log"); }

  // Starts a stand-in copy that logs to `log` and returns once it listens.
  QProcess& StartCopy(const std::string& log, std::initializer_list<QString> options = {}) {
    auto& copy = *m_copies.emplace_back(std::make_unique<QProcess>());
    copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{Folder(), QString::fromStdString(Log(log).string())};
    arguments.append(options);
    copy.start(TESSALINE_COPY_STUB, arguments);
    while (!copy.canReadLine() && copy.waitForReadyRead(kStartTimeout)) {
    }
    EXPECT_EQ(copy.readLine().trimmed(), "listening") << "the stand-in copy did not start";
    return copy;
  }

  static void Stop(QProcess& copy) {
    copy.kill();
    copy.waitForFinished(kStartTimeout);
  }

  // What a copy logged, once it logged `lines` lines (or the time ran out).
  std::string WaitForLog(const std::string& name, size_t lines) const {
    const QDeadlineTimer deadline(kArrivalTimeout);
    std::string text = ReadText(Log(name));
    while (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) < lines &&
           !deadline.hasExpired()) {
      QThread::msleep(20);
      text = ReadText(Log(name));
    }
    return text;
  }

  CLocalSocketTransport Transport(const CUserIdentity& identity = CurrentUserIdentity()) const {
    return CLocalSocketTransport(Folder(), identity);
  }

  const fs::path m_folder =
      fs::temp_directory_path() / ("tess-copies-" + std::to_string(::getpid()));
  std::list<std::unique_ptr<QProcess>> m_copies;
};

TEST_F(RunningCopies, FilesGoToACopyWithAnEmptyWindowWhichComesToTheFront) {
  StartCopy("empty");
  CCopyStartup startup(Folder(), CurrentUserIdentity());
  EXPECT_TRUE(startup.HandOver(kOpenTwoFiles));
  EXPECT_EQ(WaitForLog("empty", 2), "front\nopen\t/data/quartz.cif\ttwo words \xc3\xa9.vhtx\n");
}

TEST_F(RunningCopies, ACopyShowingPatternsLetsTheNewCopyOpenItsOwnWindow) {
  QProcess& busy = StartCopy("busy", {"--patterns"});
  std::vector<CCopyWindow> windows = Transport().MainWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].process, static_cast<uint64_t>(busy.processId()));
  EXPECT_EQ(Transport().Send(windows[0], Sync(VHMsgName::AreYouMe), {}, 500),
            Sync(VHMsgName::AreYouMe));
  EXPECT_EQ(Transport().Send(windows[0], Sync(VHMsgName::HasEmptyWindow), {}, 500), 0);

  EXPECT_FALSE(CCopyStartup(Folder(), CurrentUserIdentity()).HandOver(kOpenTwoFiles));
  // A copy started without files opens its window even beside an empty one.
  StartCopy("empty");
  EXPECT_FALSE(CCopyStartup(Folder(), CurrentUserIdentity()).HandOver({}));
  EXPECT_FALSE(fs::exists(Log("busy")));
  EXPECT_FALSE(fs::exists(Log("empty")));
}

TEST_F(RunningCopies, ACopyThatDoesNotAnswerCountsAsAbsent) {
  StartCopy("hung", {"--hang"});
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_FALSE(CCopyStartup(Folder(), CurrentUserIdentity()).HandOver(kOpenTwoFiles));
  // One question with its 500 ms; waiting for ever would never end. The bound leaves a loaded
  // machine plenty of room.
  EXPECT_LT(elapsed.elapsed(), 10000);

  // The files go past it to a copy that answers.
  StartCopy("empty");
  elapsed.restart();
  EXPECT_TRUE(CCopyStartup(Folder(), CurrentUserIdentity()).HandOver(kOpenTwoFiles));
  EXPECT_LT(elapsed.elapsed(), 10000);
  EXPECT_EQ(WaitForLog("empty", 2), "front\nopen\t/data/quartz.cif\ttwo words \xc3\xa9.vhtx\n");
}

TEST_F(RunningCopies, GarbageGetsTheAnswerZeroAndTheCopyGoesOn) {
  StartCopy("empty");
  const std::vector<CCopyWindow> windows = Transport().MainWindows();
  ASSERT_EQ(windows.size(), 1u);
  const QString server = QString::fromStdString(windows[0].address);
  const QByteArray zero(8, '\0');

  EXPECT_EQ(Exchange(server, "GET / HTTP/1.0\r\n\r\n"), zero);
  EXPECT_EQ(Exchange(server, Request(Sync(VHMsgName::AreYouMe), 0xffffffffu)), zero);
  const std::vector<uint8_t> commandLine = SerialiseCommandLine(kOpenTwoFiles);
  const QByteArray damaged(reinterpret_cast<const char*>(commandLine.data()), 10);
  EXPECT_EQ(Exchange(server, Request(Sync(VHMsgName::ProcessShellCmd), 10, damaged)), zero);

  // A client that stops half-way through its request holds nobody up.
  QLocalSocket halfway;
  halfway.connectToServer(server);
  ASSERT_TRUE(halfway.waitForConnected(kArrivalTimeout));
  halfway.write("VHMS\x01");
  halfway.waitForBytesWritten(kArrivalTimeout);

  EXPECT_EQ(Transport().Send(windows[0], Sync(VHMsgName::AreYouMe), {}, 500),
            Sync(VHMsgName::AreYouMe));
  EXPECT_EQ(Exchange(server, Request(Sync(VHMsgName::HasEmptyWindow), 0)),
            AnswerBytes(Sync(VHMsgName::HasEmptyWindow)));
  EXPECT_FALSE(fs::exists(Log("empty")));  // the damaged command line was not run
}

TEST_F(RunningCopies, TheSocketOfACrashedCopyIsRemoved) {
  // Found by a copy that asks it.
  QProcess& crashed = StartCopy("crashed");
  Stop(crashed);
  std::vector<CCopyWindow> windows = Transport().MainWindows();
  ASSERT_EQ(windows.size(), 1u) << "a killed copy leaves its socket";
  EXPECT_EQ(Transport().Send(windows[0], Sync(VHMsgName::AreYouMe), {}, 500), std::nullopt);
  EXPECT_FALSE(fs::exists(windows[0].address));

  // Found by the next copy that starts: with no copy running, every socket is stale.
  Stop(StartCopy("crashed again"));
  ASSERT_EQ(Transport().MainWindows().size(), 1u);
  EXPECT_FALSE(CCopyStartup(Folder(), CurrentUserIdentity()).HandOver(kOpenTwoFiles));
  EXPECT_TRUE(Transport().MainWindows().empty());

  // Found by a copy that gets the crashed one's process id.
  const QString ownName =
      CopySocketPath(Folder(), CurrentUserIdentity(), QCoreApplication::applicationPid());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray path = QFile::encodeName(ownName);
  ASSERT_LT(static_cast<size_t>(path.size()), sizeof address.sun_path);
  std::copy(path.begin(), path.end(), address.sun_path);
  const int leftover = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(leftover, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(leftover);
  CCopyServer server({}, Folder(), CurrentUserIdentity());
  EXPECT_TRUE(server.Listen());
}

TEST_F(RunningCopies, EachUserHasCopiesOfTheirOwn) {
  StartCopy("empty");
  CUserIdentity otherUser = CurrentUserIdentity();
  otherUser.user += "-else";
  EXPECT_TRUE(Transport(otherUser).MainWindows().empty());
  EXPECT_EQ(Transport().MainWindows().size(), 1u);
  EXPECT_EQ(CLockFileLocks(m_folder.string(), otherUser).CreateInstanceLock(false),
            CInstanceLocks::ECreation::kCreated);
  EXPECT_EQ(CLockFileLocks(m_folder.string(), CurrentUserIdentity()).CreateInstanceLock(false),
            CInstanceLocks::ECreation::kExisted);
  EXPECT_FALSE(CCopyStartup(Folder(), otherUser).HandOver(kOpenTwoFiles));
  EXPECT_FALSE(fs::exists(Log("empty")));
}

TEST_F(RunningCopies, SocketNamesFitTheirLimitAndKeepUsersApart) {
  const CUserIdentity alice{"host", "alice"};
  const CUserIdentity bob{"host", "bob"};
  EXPECT_EQ(CopySocketPath("/run/user/1000", alice, 4242),
            "/run/user/1000/Tessaline-13dca11d-78cb-484a-892b-10aa643d11ae-host-alice-4242");

  const QString deepFolder = "/tmp/" + QString(60, 'f');
  const QString aliceSocket = CopySocketPath(deepFolder, alice, 4294967295u);
  EXPECT_LE(QFile::encodeName(aliceSocket).size(), 107);
  EXPECT_NE(aliceSocket, CopySocketPath(deepFolder, bob, 4294967295u));
  EXPECT_TRUE(aliceSocket.startsWith(deepFolder + "/Tessaline-"));
}

TEST(CopyLockFiles, CopiesShareTheInstanceLockAndTakeTurnsWithTheQueryLock) {
  EnsureApplication();
  const fs::path folder = fs::temp_directory_path() / ("tess-locks-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const CUserIdentity user{"host", "alice"};
  {
    auto first = std::make_unique<CLockFileLocks>(folder.string(), user);
    CLockFileLocks second(folder.string(), user);
    EXPECT_EQ(first->CreateInstanceLock(true), CInstanceLocks::ECreation::kCreated);
    EXPECT_EQ(second.CreateInstanceLock(false), CInstanceLocks::ECreation::kExisted);
    first.reset();
    EXPECT_EQ(CLockFileLocks(folder.string(), user).CreateInstanceLock(false),
              CInstanceLocks::ECreation::kExisted);  // the second copy still runs
  }
  EXPECT_EQ(CLockFileLocks(folder.string(), user).CreateInstanceLock(false),
            CInstanceLocks::ECreation::kCreated);

  // A copy keeps its turn from its start-up until it ends it, when its window listens.
  CCopyStartup starting(QString::fromStdString(folder.string()), user);
  EXPECT_FALSE(starting.HandOver({}));
  CLockFileLocks next(folder.string(), user);
  EXPECT_NE(next.CreateQueryLock(), CInstanceLocks::ECreation::kRefused);
  EXPECT_FALSE(next.WaitForQueryLock(50));
  starting.EndTurn();
  EXPECT_TRUE(next.WaitForQueryLock(0));
  next.ReleaseQueryLock();
  fs::remove_all(folder);

  // Without a folder for the lock files the program cannot check for other copies.
  CLockFileLocks nowhere("/nonexistent-tessaline-folder", user);
  EXPECT_EQ(nowhere.CreateQueryLock(), CInstanceLocks::ECreation::kRefused);
  EXPECT_THROW(CCopyStartup("/nonexistent-tessaline-folder", user).HandOver(kOpenTwoFiles),
               CVHXNoAppMutex);
}

// The program's own start-up uses the user's runtime folder, here one of the test's. Should the
// main window never listen, the next copy still gets its turn once the event loop runs.
TEST(ProcessStartup, EndsItsTurnWhenTheEventLoopFirstRuns) {
  EnsureApplication();
  const fs::path runtime =
      fs::temp_directory_path() / ("tess-runtime-" + std::to_string(::getpid()));
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ASSERT_EQ(RunningCopiesFolder(), QString::fromStdString(runtime.string()));

  EXPECT_FALSE(HandOverToRunningCopy({}));
  CLockFileLocks next(runtime.string(), CurrentUserIdentity());
  EXPECT_FALSE(next.WaitForQueryLock(0));
  QCoreApplication::processEvents();
  EXPECT_TRUE(next.WaitForQueryLock(0));
  EXPECT_EQ(next.CreateInstanceLock(false), CInstanceLocks::ECreation::kExisted);
  fs::remove_all(runtime);
}

}  // namespace
