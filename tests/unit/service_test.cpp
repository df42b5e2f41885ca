// The service program against our Win32 layer: its switches and messages, the
// status it reports under the service control manager, the kernel's command
// line and working directory, and the stop arriving from another thread.
#include <gtest/gtest.h>
#include <w32fake.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service.h"

namespace {

const char kUsage[] =
    "ROVAN -install          to install the service\n"
    "ROVAN -remove           to remove the service\n"
    "ROVAN -debug [args]+    to run as a console app for debugging\n"
    "\nStartServiceCtrlDispatcher being called.\n"
    "This may take several seconds.  Please wait.\n";

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ROVAN";
const char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\ROVAN\\Parameters";

class Service : public ::testing::Test {
 protected:
  void SetUp() override {
    w32fake::Reset();
    ResetServiceState();
  }
  void TearDown() override { ExpectNothingLeftOpen(); }

  // A table's next case on a fresh machine, the case before it checked.
  void NextCase(const std::string &label) {
    ExpectNothingLeftOpen();
    lastCase = label;
    w32fake::Reset();
    ResetServiceState();
  }

  // Nothing a run opened may stay open but the ROVANSTOP handle that the
  // design keeps to the end of the process: checked after every test and
  // every case of a table.
  void ExpectNothingLeftOpen() {
    std::string after = lastCase.empty() ? "" : " after case " + lastCase;
    EndProcess();
    EXPECT_EQ(0, w32fake::OpenHandleCount()) << "a kernel object handle was left open" << after;
    EXPECT_EQ(0, w32fake::RegOpenKeyCount()) << "a key was left open" << after;
    EXPECT_EQ(0, w32fake::OpenServiceHandleCount()) << "a service handle was left open" << after;
    EXPECT_EQ(0, w32fake::OpenEventSourceCount()) << "an event source was left open" << after;
    EXPECT_EQ(0, w32fake::LocalAllocations()) << "a system text was not freed" << after;
  }
  // What the end of the process does to the handle the design keeps: for a
  // test that plays several runs of the program, one after the other.
  void EndProcess() {
    HANDLE kept = hRovanStopEvent.exchange(nullptr);
    if (kept) CloseHandle(kept);
  }
  std::string lastCase;

  // Runs the program with these arguments after its name; its console text.
  std::string Run(std::vector<std::string> args, int *status = nullptr) {
    args.insert(args.begin(), "service");
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    int rc = ServiceProgram((int)args.size(), argv.data());
    if (status) *status = rc;
    return testing::internal::GetCapturedStdout();
  }
};

SERVICE_STATUS Report(DWORD state, DWORD accepted, DWORD exitCode, DWORD checkPoint, DWORD hint) {
  return SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, state, accepted, exitCode, 0, checkPoint, hint};
}

std::string Show(const std::vector<SERVICE_STATUS> &reports) {
  std::string s;
  for (auto &r : reports)
    s += "{type " + std::to_string(r.dwServiceType) + " state " + std::to_string(r.dwCurrentState) + " accepts " +
         std::to_string(r.dwControlsAccepted) + " exit " + std::to_string(r.dwWin32ExitCode) + " specific " +
         std::to_string(r.dwServiceSpecificExitCode) + " cp " + std::to_string(r.dwCheckPoint) + " hint " +
         std::to_string(r.dwWaitHint) + "}\n";
  return s;
}

std::vector<std::vector<std::string>> EventStrings() {
  std::vector<std::vector<std::string>> out;
  for (auto &e : w32fake::Events()) out.push_back(e.strings);
  return out;
}

// ----- the switch table ------------------------------------------------------

TEST_F(Service, SwitchTableChoosesTheModeAndEndsWithStatusZero) {
  w32fake::AddService("ROVAN", SERVICE_STOPPED);  // so that remove has something to say
  struct Case {
    std::vector<std::string> args;
    const char *begins;  // the first console text of the mode taken
  } cases[] = {
      {{"-install"}, "CreateService failed - "},
      {{"/INSTALL", "ignored"}, "CreateService failed - "},
      {{"-ReMoVe"}, "ROVAN removed.\n"},
      {{"-debug"}, "Debugging ROVAN (CTRL-C exits)\n"},
      {{"/DEBUG", "x"}, "Debugging ROVAN (CTRL-C exits)\n"},
      {{}, kUsage},
      {{"install"}, kUsage},
      {{"-installer"}, kUsage},
      {{"-debugx"}, kUsage},
      {{"--install"}, kUsage},
      {{"//remove"}, kUsage},
      {{"-"}, kUsage},
      {{"/"}, kUsage},
      {{"x", "-install"}, kUsage},
  };
  for (auto &c : cases) {
    w32fake::AddService("ROVAN", SERVICE_STOPPED);
    EndProcess();
    ResetServiceState();
    std::string label = c.args.empty() ? "(none)" : c.args[0];
    int status = -1;
    std::string out = Run(c.args, &status);
    EXPECT_EQ(0, out.find(c.begins)) << label << ": " << out;
    EXPECT_EQ(0, status) << label;
  }
}

TEST_F(Service, ConsoleStartPrintsUsageAndLogsTheDispatcherFailure) {
  EXPECT_EQ(kUsage, Run({}));
  auto events = w32fake::Events();
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ("ROVAN", events[0].source);
  EXPECT_EQ(EVENTLOG_ERROR_TYPE, events[0].type);
  EXPECT_EQ(0, events[0].category);
  EXPECT_EQ(0u, events[0].eventId);
  EXPECT_FALSE(events[0].hadUserSid);
  EXPECT_EQ(0u, events[0].dataSize);
  EXPECT_EQ((std::vector<std::string>{"ROVAN error: 1063", "StartServiceCtrlDispatcher failed."}), events[0].strings);
  EXPECT_EQ(1063u, dwErr);
}

// ----- install and remove ----------------------------------------------------

TEST_F(Service, InstallRegistersTheServiceAsLocalSystemOnDemand) {
  EXPECT_EQ("ROVAN installed.\n", Run({"-install"}));
  w32fake::ServiceEntry e;
  ASSERT_TRUE(w32fake::FindService("ROVAN", &e));
  EXPECT_EQ("ROVAN", e.displayName);
  EXPECT_EQ((DWORD)SERVICE_ALL_ACCESS, e.access);
  EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, e.type);
  EXPECT_EQ((DWORD)SERVICE_DEMAND_START, e.startType);
  EXPECT_EQ((DWORD)SERVICE_ERROR_NORMAL, e.errorControl);
  EXPECT_EQ("C:\\ROVAN\\service.exe", e.binaryPath);
  EXPECT_EQ("", e.dependencies);
  EXPECT_FALSE(e.hadLoadOrderGroup || e.hadTagId || e.hadAccount || e.hadPassword);
}

TEST_F(Service, InstallQuotesAPathWithABlank) {
  struct Case {
    const char *module, *registered;
  } cases[] = {
      {"C:\\Program Files\\Rovan\\service.exe", "\"C:\\Program Files\\Rovan\\service.exe\""},
      {"C:\\Rovan\\service.exe", "C:\\Rovan\\service.exe"},
  };
  for (auto &c : cases) {
    NextCase(c.module);
    w32fake::SetModuleFileName(c.module);
    EXPECT_EQ("ROVAN installed.\n", Run({"-install"}));
    w32fake::ServiceEntry e;
    ASSERT_TRUE(w32fake::FindService("ROVAN", &e));
    EXPECT_EQ(c.registered, e.binaryPath);
    // and the service, reading it back, finds its own folder
    char dir[KERNEL_BUF];
    EXPECT_EQ(ERROR_SUCCESS, GetImagePath(dir));
    KernelDirectory(dir);
    EXPECT_EQ(std::string(c.module).substr(0, std::string(c.module).rfind('\\')), dir);
  }
}

TEST_F(Service, InstallFailureMessagesCarryTheSystemText) {
  struct Case {
    const char *name;
    void (*plant)();
    const char *out;
  } cases[] = {
      {"module", [] { w32fake::FailGetModuleFileName(ERROR_ACCESS_DENIED); },
       "Unable to install ROVAN - Access is denied. (0x5)\n"},
      {"cut module path",
       [] {
         w32fake::SetModuleFileName("C:\\" + std::string(600, 'a') + "\\service.exe");
         w32fake::SetSystemMessage(ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n");
       },
       "Unable to install ROVAN - The data area passed to a system call is too small. (0x7a)\n"},
      {"manager", [] { w32fake::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       "OpenSCManager failed - Access is denied. (0x5)\n"},
      {"exists", [] { w32fake::AddService("ROVAN", SERVICE_STOPPED); },
       "CreateService failed - The specified service already exists. (0x431)\n"},
      {"no text", [] { w32fake::FailCall("CreateServiceA", 0x12345); }, "CreateService failed - \n"},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    c.plant();
    EXPECT_EQ(c.out, Run({"-install"})) << c.name;
  }
}

TEST_F(Service, RemoveStopsWaitsWithDotsAndDeletes) {
  struct Case {
    const char *name;
    DWORD state;                // before the remove
    std::vector<DWORD> queried;  // what each status query finds
    const char *failQuery;      // non-null: the first query fails
    const char *out;
    size_t sleeps;
  } cases[] = {
      {"not running", SERVICE_STOPPED, {}, nullptr, "ROVAN removed.\n", 0},
      {"stops at once", SERVICE_RUNNING, {SERVICE_STOPPED}, nullptr,
       "Stopping ROVAN.\nROVAN stopped.\nROVAN removed.\n", 1},
      {"dot a second", SERVICE_RUNNING, {SERVICE_STOP_PENDING, SERVICE_STOP_PENDING, SERVICE_STOPPED}, nullptr,
       "Stopping ROVAN...\nROVAN stopped.\nROVAN removed.\n", 3},
      {"never stops", SERVICE_RUNNING, {SERVICE_STOP_PENDING, SERVICE_RUNNING}, nullptr,
       "Stopping ROVAN..\nROVAN failed to stop.\nROVAN removed.\n", 2},
      {"query fails", SERVICE_RUNNING, {}, "QueryServiceStatus",
       "Stopping ROVAN.\nROVAN failed to stop.\nROVAN removed.\n", 1},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    w32fake::AddService("ROVAN", c.state);
    w32fake::ScriptServiceStates("ROVAN", c.queried);
    if (c.failQuery) w32fake::FailCall(c.failQuery, ERROR_ACCESS_DENIED);
    EXPECT_EQ(c.out, Run({"-remove"})) << c.name;
    EXPECT_EQ(c.sleeps, w32fake::Sleeps().size()) << c.name;
    for (DWORD ms : w32fake::Sleeps()) EXPECT_EQ(1000u, ms);
    EXPECT_FALSE(w32fake::FindService("ROVAN", nullptr)) << c.name;
  }
}

TEST_F(Service, RemoveFailureMessagesCarryTheSystemText) {
  struct Case {
    const char *name;
    void (*plant)();
    const char *out;
  } cases[] = {
      {"manager", [] { w32fake::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED); },
       "OpenSCManager failed - Access is denied. (0x5)\n"},
      {"no service", [] {},
       "OpenService failed - The specified service does not exist as an installed service. (0x424)\n"},
      {"delete",
       [] {
         w32fake::AddService("ROVAN", SERVICE_STOPPED);
         w32fake::FailCall("DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE);
       },
       "DeleteService failed - The specified service has been marked for deletion. (0x430)\n"},
      {"stop refused, delete fails",
       [] {
         w32fake::AddService("ROVAN", SERVICE_RUNNING);
         w32fake::FailCall("ControlService", ERROR_ACCESS_DENIED);
         w32fake::FailCall("DeleteService", ERROR_ACCESS_DENIED);
       },
       "DeleteService failed - Access is denied. (0x5)\n"},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    c.plant();
    EXPECT_EQ(c.out, Run({"-remove"})) << c.name;
  }
}

TEST_F(Service, LastErrorTextCutsOnlyTheLineEndAndNeverOverruns) {
  struct Case {
    const char *name;
    DWORD code;
    std::string text;  // the system's text; empty: none
    const char *out;
  } cases[] = {
      {"usual", 5, "Access is denied.\r\n", "Access is denied. (0x5)"},
      {"lower-case hex", 0xABC, "Odd.\r\n", "Odd. (0xabc)"},
      {"no text", 0x7777, "", ""},
      {"one character", 0x20, "x", "x (0x20)"},
      {"line end alone", 0x21, "\n", " (0x21)"},
      {"no line end", 0x22, "abc", "abc (0x22)"},
      {"just fits", 0x23, std::string(240, 'a') + "\r\n", nullptr},  // 242 + 14 = 256
      {"one too long", 0x24, std::string(241, 'a') + "\r\n", ""},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    if (!c.text.empty()) w32fake::SetSystemMessage(c.code, c.text);
    char buf[256];
    memset(buf, 'Z', sizeof buf);
    SetLastError(c.code);
    std::string want = c.out ? c.out : std::string(240, 'a') + " (0x23)";
    EXPECT_EQ(want, GetLastErrorText(buf, sizeof buf)) << c.name;
  }
  NextCase("no room at all");
  char none = 'Z';
  SetLastError(0x7777);  // no text: the empty answer, which needs a byte
  GetLastErrorText(&none, 0);
  EXPECT_EQ('Z', none);
}

// ----- a run under the service control manager -------------------------------

TEST_F(Service, ReportsEveryStateOfARunInOrder) {
  w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
  w32fake::StartAsService({});
  w32fake::QueueControl(SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING);
  w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_RUNNING);
  EXPECT_EQ(kUsage, Run({}));

  std::vector<SERVICE_STATUS> want = {
      Report(SERVICE_START_PENDING, 0, 0, 1, 3000),  // service_main
      Report(SERVICE_START_PENDING, 0, 0, 2, 3000),  // ServiceStart begins
      Report(SERVICE_START_PENDING, 0, 0, 3, 3000),  // both events exist
      Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0),
      Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0),  // the interrogation
      Report(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 4, 0),
      Report(SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0, 0),  // ServiceStart ends
      Report(SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0, 0),  // service_main ends
  };
  EXPECT_EQ(Show(want), Show(w32fake::StatusReports()));
  EXPECT_TRUE(w32fake::ServiceMainRanOnOwnThread());
  auto controls = w32fake::Controls();
  ASSERT_EQ(2u, controls.size());
  EXPECT_TRUE(controls[0].delivered && controls[1].delivered);

  auto starts = w32fake::ProcessStarts();
  ASSERT_EQ(1u, starts.size());
  EXPECT_EQ("rundll32 qor.dll,QOR 1", starts[0].commandLine);
  EXPECT_EQ("C:\\Apps", starts[0].directory);
  EXPECT_FALSE(starts[0].hadApplicationName || starts[0].hadProcessAttributes || starts[0].hadThreadAttributes ||
               starts[0].hadEnvironment);
  EXPECT_EQ(TRUE, starts[0].inheritHandles);
  EXPECT_EQ((DWORD)(CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS), starts[0].creationFlags);

  EXPECT_TRUE(w32fake::IsEventSet("ROVANSTOP"));
  EXPECT_EQ(0, w32fake::OpenEventHandles("SERVICESTOP"));
  // The kernel holds ROVANSTOP too: set, it outlives the service's handle,
  // however late the kernel comes to open it.
  EXPECT_EQ(1, w32fake::HandlesGivenToProcesses());
  CloseHandle(hRovanStopEvent.load());
  EXPECT_TRUE(w32fake::IsEventSet("ROVANSTOP"));
  EXPECT_EQ(nullptr, hServerStopEvent.load());
  EXPECT_TRUE(w32fake::Events().empty());
}

TEST_F(Service, StartParametersReachTheKernelAndAppParametersAreNotRead) {
  w32fake::RegSetString(kServiceKey, "ImagePath", "\"C:\\Program Files\\Rovan\\service.exe\"");
  w32fake::RegSetString(kParametersKey, "AppParameters", "unused");
  w32fake::StartAsService({"alpha", "beta"});
  w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_RUNNING);
  Run({});
  auto starts = w32fake::ProcessStarts();
  ASSERT_EQ(1u, starts.size());
  EXPECT_EQ("rundll32 qor.dll,QOR alpha beta ", starts[0].commandLine);
  EXPECT_EQ("C:\\Program Files\\Rovan", starts[0].directory);
}

TEST_F(Service, StopBeforeRunningIsRefusedByTheManager) {
  w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
  w32fake::StartAsService({});
  w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_START_PENDING);
  w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_RUNNING);
  Run({});
  auto controls = w32fake::Controls();
  ASSERT_EQ(2u, controls.size());
  EXPECT_FALSE(controls[0].delivered);  // start-pending accepts no control
  EXPECT_TRUE(controls[1].delivered);
}

// A start that fails leaves an error event, and the last stopped report
// carries its code.
TEST_F(Service, FailedStartsAreLoggedAndReported) {
  struct Case {
    const char *name;
    void (*plant)();
    std::vector<std::string> params;
    DWORD code;
    const char *message;
    std::vector<DWORD> states;  // every report, in order
    bool kernelStarted;
    DWORD firstStopCode;  // ServiceStart's own stopped report
  } cases[] = {
      {"first report", [] { w32fake::FailCall("SetServiceStatus", ERROR_INVALID_DATA); }, {}, ERROR_INVALID_DATA,
       "SetServiceStatus", {SERVICE_STOPPED}, false, ERROR_INVALID_DATA},
      {"report in ServiceStart", [] { w32fake::FailCall("SetServiceStatus", ERROR_INVALID_DATA, 1); }, {},
       ERROR_INVALID_DATA, "SetServiceStatus", {SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED}, false, 0},
      {"SERVICESTOP", [] { w32fake::FailCreateEvent("SERVICESTOP", ERROR_ACCESS_DENIED); }, {}, ERROR_ACCESS_DENIED,
       "CreateEvent SERVICESTOP failed.",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED}, false, ERROR_ACCESS_DENIED},
      {"ROVANSTOP", [] { w32fake::FailCreateEvent("ROVANSTOP", ERROR_ACCESS_DENIED); }, {}, ERROR_ACCESS_DENIED,
       "CreateEvent ROVANSTOP failed.",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED}, false, ERROR_ACCESS_DENIED},
      {"second report in ServiceStart", [] { w32fake::FailCall("SetServiceStatus", ERROR_INVALID_DATA, 2); }, {},
       ERROR_INVALID_DATA, "SetServiceStatus",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED}, false, 0},
      {"command line too long", [] {}, {std::string(1002, 'p')}, ERROR_INSUFFICIENT_BUFFER,
       "Kernel command line too long.",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED},
       false, ERROR_INSUFFICIENT_BUFFER},
      {"ImagePath unreadable: no working folder", [] { w32fake::RegFailOpen(kServiceKey, ERROR_ACCESS_DENIED); }, {},
       ERROR_DIRECTORY, "CreateProcess failed.",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED},
       false, ERROR_DIRECTORY},
      {"process", [] { w32fake::FailNextProcessStart(ERROR_FILE_NOT_FOUND); }, {}, ERROR_FILE_NOT_FOUND,
       "CreateProcess failed.",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED},
       false, ERROR_FILE_NOT_FOUND},
      {"running report", [] { w32fake::FailCall("SetServiceStatus", ERROR_INVALID_DATA, 3); }, {},
       ERROR_INVALID_DATA, "SetServiceStatus",
       {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_STOPPED, SERVICE_STOPPED},
       true, 0},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
    c.plant();
    w32fake::StartAsService(c.params);
    Run({});
    auto reports = w32fake::StatusReports();
    std::vector<DWORD> states;
    for (auto &r : reports) states.push_back(r.dwCurrentState);
    EXPECT_EQ(c.states, states) << c.name;
    ASSERT_FALSE(reports.empty()) << c.name;
    EXPECT_EQ(c.code, reports.back().dwWin32ExitCode) << c.name;
    EXPECT_EQ(c.firstStopCode, reports[reports.size() - (reports.size() > 1 ? 2 : 1)].dwWin32ExitCode) << c.name;
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"ROVAN error: " + std::to_string(c.code), c.message}}),
              EventStrings())
        << c.name;
    bool started = !w32fake::ProcessStarts().empty() && w32fake::ProcessStarts()[0].started;
    EXPECT_EQ(c.kernelStarted, started) << c.name;
    EXPECT_FALSE(w32fake::IsEventSet("ROVANSTOP")) << c.name;  // nothing tells a started kernel to end
  }
}

TEST_F(Service, FailingRegistrationReportsNothing) {
  w32fake::FailCall("RegisterServiceCtrlHandlerA", ERROR_INVALID_NAME);
  w32fake::StartAsService({});
  Run({});
  EXPECT_TRUE(w32fake::StatusReports().empty());
  EXPECT_TRUE(w32fake::Events().empty());
  EXPECT_TRUE(w32fake::ProcessStarts().empty());
}

// ----- debug mode ----------------------------------------------------------------

// A SERVICESTOP left signalled by an earlier run, still held open, lets the
// run pass its wait at once: the debug runs below end by themselves.
class ServiceDebug : public Service {
 protected:
  HANDLE leftover = nullptr;
  void SetUp() override {
    Service::SetUp();
    w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
    leftover = CreateEventA(nullptr, TRUE, TRUE, "SERVICESTOP");
  }
  void TearDown() override {
    CloseHandle(leftover);
    Service::TearDown();
  }
};

TEST_F(ServiceDebug, HeaderAndCommandLineForEachCount) {
  struct Case {
    std::vector<std::string> args;
    const char *out;
  } cases[] = {
      {{"-debug"},
       "Service Start: argc 2 argv [service] [-debug]\n"
       "About to exec: cmd [rundll32 qor.dll,QOR ] dir [C:\\Apps]\n"},
      {{"-debug", "x"},
       "Service Start: argc 3 argv [service] [-debug] [x]\n"
       "About to exec: cmd [rundll32 qor.dll,QOR x ] dir [C:\\Apps]\n"},
      {{"/Debug", "alpha", "beta"},
       "Service Start: argc 4 argv [service] [/Debug] [alpha] [beta]\n"
       "About to exec: cmd [rundll32 qor.dll,QOR alpha beta ] dir [C:\\Apps]\n"},
      {{"-debug", "a", "b c", "d"},
       "Service Start: argc 5 argv About to exec: cmd [rundll32 qor.dll,QOR a b c d ] dir [C:\\Apps]\n"},
  };
  w32fake::RegSetString(kParametersKey, "AppParameters", "never used in debug mode");
  for (auto &c : cases) {
    EndProcess();
    ResetServiceState();
    EXPECT_EQ(std::string("Debugging ROVAN (CTRL-C exits)\n") + c.out, Run(c.args)) << c.args.size();
  }
  EXPECT_TRUE(w32fake::StatusReports().empty());
  EXPECT_TRUE(w32fake::Events().empty());
  EXPECT_EQ(0u, dwErr);
  EXPECT_EQ(4u, w32fake::ProcessStarts().size());
}

TEST_F(ServiceDebug, WithoutTheServiceKeyTheDirectoryIsEmptyAndTheStartFails) {
  w32fake::Reset();
  leftover = CreateEventA(nullptr, TRUE, TRUE, "SERVICESTOP");
  std::string out = Run({"-debug"});
  auto starts = w32fake::ProcessStarts();
  ASSERT_EQ(1u, starts.size());
  EXPECT_TRUE(starts[0].hadDirectory);
  EXPECT_EQ("", starts[0].directory);
  EXPECT_NE(std::string::npos, out.find("dir []\nROVAN error: 267\nCreateProcess failed.\n")) << out;
  EXPECT_TRUE(w32fake::Events().empty());
}

// ----- the kernel's working directory and command line --------------------------

using ServiceKernel = Service;

TEST_F(ServiceKernel, DirectoryFromImagePath) {
  struct Case {
    const char *imagePath, *dir;
  } cases[] = {
      {"C:\\Apps\\service.exe", "C:\\Apps"},
      {"C:\\service.exe", "C:"},
      {"service.exe", "service.exe"},
      {"", ""},
      {"C:\\Apps\\", "C:\\Apps"},
      {"\"C:\\Program Files\\Rovan\\service.exe\"", "C:\\Program Files\\Rovan"},
      {"\"C:\\service.exe\"", "C:"},
      {"\"C:\\A b\\service.exe\" -x", "C:\\A b"},
      {"\"service.exe\"", "service.exe"},
      {"\"C:\\Apps\\service.exe", "\"C:\\Apps"},  // a lone quote is no pair
  };
  for (auto &c : cases) {
    char buf[KERNEL_BUF];
    snprintf(buf, sizeof buf, "%s", c.imagePath);
    KernelDirectory(buf);
    EXPECT_STREQ(c.dir, buf) << c.imagePath;
  }
}

TEST_F(ServiceKernel, CommandLineFromStartParametersOrRegistry) {
  struct Case {
    std::vector<std::string> argv;
    BOOL debug;
    std::string params;
    std::string cmd;  // empty: refused
  } cases[] = {
      {{"ROVAN"}, FALSE, "", "rundll32 qor.dll,QOR 1"},
      {{"ROVAN"}, FALSE, "alpha beta", "rundll32 qor.dll,QOR alpha beta"},
      {{"ROVAN", "alpha", "beta"}, FALSE, "ignored", "rundll32 qor.dll,QOR alpha beta "},
      {{"ROVAN", "a b"}, FALSE, "", "rundll32 qor.dll,QOR a b "},
      {{"ROVAN", ""}, FALSE, "", "rundll32 qor.dll,QOR  "},
      {{"service", "-debug"}, TRUE, "ignored", "rundll32 qor.dll,QOR "},
      {{"service", "-debug", "alpha", "beta"}, TRUE, "", "rundll32 qor.dll,QOR alpha beta "},
      // 1024 bytes hold the 21-character prefix, 1002 more and the terminator
      {{"ROVAN"}, FALSE, std::string(1002, 'p'), "rundll32 qor.dll,QOR " + std::string(1002, 'p')},
      {{"ROVAN"}, FALSE, std::string(1003, 'p'), ""},
      {{"ROVAN", std::string(1001, 'a')}, FALSE, "", "rundll32 qor.dll,QOR " + std::string(1001, 'a') + " "},
      {{"ROVAN", std::string(1002, 'a')}, FALSE, "", ""},
      {{"ROVAN", std::string(600, 'a'), std::string(600, 'b')}, FALSE, "", ""},
  };
  for (auto &c : cases) {
    std::vector<char *> argv;
    for (auto &a : c.argv) argv.push_back(&a[0]);
    char cmd[KERNEL_BUF];
    memset(cmd, 'Z', sizeof cmd);
    int rc = KernelCommandLine(cmd, sizeof cmd, (DWORD)argv.size(), argv.data(), c.debug, c.params.c_str());
    EXPECT_EQ(c.cmd.empty() ? 1 : 0, rc) << c.cmd;
    EXPECT_EQ(c.cmd, cmd);
  }
}

TEST_F(ServiceKernel, RegistryValuesYieldTextOnlyFromWithinTheBuffer) {
  struct Case {
    const char *name;
    void (*plant)();
    LONG rc;
    std::string text;
  } cases[] = {
      {"no service key", [] {}, ERROR_FILE_NOT_FOUND, ""},
      {"no Parameters key", [] { w32fake::RegAddKey(kServiceKey); }, ERROR_FILE_NOT_FOUND, ""},
      {"no value", [] { w32fake::RegAddKey(kParametersKey); }, ERROR_FILE_NOT_FOUND, ""},
      {"key refused", [] {
         w32fake::RegAddKey(kParametersKey);
         w32fake::RegFailOpen(kServiceKey, ERROR_ACCESS_DENIED);
       },
       ERROR_ACCESS_DENIED, ""},
      {"empty", [] { w32fake::RegSetString(kParametersKey, "AppParameters", ""); }, ERROR_SUCCESS, ""},
      {"text", [] { w32fake::RegSetString(kParametersKey, "AppParameters", "alpha beta"); }, ERROR_SUCCESS,
       "alpha beta"},
      {"expandable", [] { w32fake::RegSetValue(kParametersKey, "AppParameters", REG_EXPAND_SZ, std::string("%X%\0", 4)); },
       ERROR_SUCCESS, "%X%"},
      {"no terminator", [] { w32fake::RegSetValue(kParametersKey, "AppParameters", REG_SZ, "alpha"); },
       ERROR_SUCCESS, "alpha"},
      {"1024 bytes, no terminator",
       [] { w32fake::RegSetValue(kParametersKey, "AppParameters", REG_SZ, std::string(1024, 'a')); },
       ERROR_MORE_DATA, ""},
      {"1023 characters", [] { w32fake::RegSetString(kParametersKey, "AppParameters", std::string(1023, 'a')); },
       ERROR_SUCCESS, std::string(1023, 'a')},
      {"too long", [] { w32fake::RegSetString(kParametersKey, "AppParameters", std::string(1024, 'a')); },
       ERROR_MORE_DATA, ""},
      {"not a string", [] { w32fake::RegSetValue(kParametersKey, "AppParameters", REG_DWORD, std::string("\1\0\0\0", 4)); },
       ERROR_INVALID_DATA, ""},
  };
  for (auto &c : cases) {
    NextCase(c.name);
    c.plant();
    char buf[KERNEL_BUF + 1];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(c.rc, GetServiceParams(buf)) << c.name;
    EXPECT_EQ(c.text, std::string(buf, strnlen(buf, KERNEL_BUF))) << c.name;
    EXPECT_EQ('Z', buf[KERNEL_BUF]) << c.name;
  }
}

TEST_F(ServiceKernel, ImagePathIsReadFromTheServiceKey) {
  w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
  w32fake::RegSetString(kParametersKey, "ImagePath", "wrong");
  char buf[KERNEL_BUF];
  EXPECT_EQ(ERROR_SUCCESS, GetImagePath(buf));
  EXPECT_STREQ("C:\\Apps\\service.exe", buf);
  EXPECT_EQ(KEY_READ, (int)w32fake::RegLastAccess());
}

// ----- the stop, from another thread --------------------------------------------

// A debug run of ServiceStart on a thread of its own.
class ServiceStopping : public Service {
 protected:
  std::thread run;
  std::atomic<bool> done{false};
  std::vector<std::string> args{"service", "-debug"};
  std::vector<char *> argv;

  void SetUp() override {
    Service::SetUp();
    w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
    bDebug = TRUE;
    for (auto &a : args) argv.push_back(&a[0]);
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    if (run.joinable()) run.join();
    testing::internal::GetCapturedStdout();
    Service::TearDown();
  }
  void Start() {
    run = std::thread([this] {
      ServiceStart((DWORD)argv.size(), argv.data());
      done = true;
    });
  }
  bool Waiting() {
    for (int i = 0; i < 5000 && w32fake::EventWaiters("SERVICESTOP") == 0 && !done; i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return w32fake::EventWaiters("SERVICESTOP") == 1;
  }
};

TEST_F(ServiceStopping, StopBeforeTheEventsExistDoesNothingAndALaterStopEnds) {
  ServiceStop();  // nothing exists yet
  EXPECT_EQ(0, w32fake::OpenEventHandleCount());
  Start();
  ASSERT_TRUE(Waiting());
  EXPECT_FALSE(done);
  EXPECT_FALSE(w32fake::IsEventSet("ROVANSTOP"));
  ServiceStop();
  ServiceStop();  // twice: both set again, nothing changes
  run.join();
  EXPECT_TRUE(w32fake::IsEventSet("ROVANSTOP"));
  EXPECT_EQ(nullptr, hServerStopEvent.load());
  EXPECT_EQ(0, w32fake::OpenEventHandles("SERVICESTOP"));
  ServiceStop();  // after the run: must not touch the closed handle
  EXPECT_EQ(1, w32fake::OpenEventHandleCount());
}

TEST_F(ServiceStopping, CtrlCStopsADebugRunAndOtherConsoleEventsPassOn) {
  args.push_back("x");
  argv.clear();
  for (auto &a : args) argv.push_back(&a[0]);
  std::string out = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  run = std::thread([this] {
    CmdDebugService((int)argv.size(), argv.data());
    done = true;
  });
  ASSERT_TRUE(Waiting());
  EXPECT_EQ(1, w32fake::ConsoleHandlerCount());
  EXPECT_FALSE(w32fake::DeliverConsoleCtrl(CTRL_CLOSE_EVENT));
  EXPECT_FALSE(w32fake::DeliverConsoleCtrl(CTRL_LOGOFF_EVENT));
  EXPECT_FALSE(done);
  EXPECT_TRUE(w32fake::DeliverConsoleCtrl(CTRL_BREAK_EVENT));
  run.join();
  out = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  EXPECT_NE(std::string::npos, out.find("About to exec: cmd [rundll32 qor.dll,QOR x ] dir [C:\\Apps]\nStopping ROVAN.\n"))
      << out;
  EXPECT_TRUE(w32fake::IsEventSet("ROVANSTOP"));
}

// Run under ThreadSanitizer too: the stop may come at any point of the start.
TEST_F(ServiceStopping, StopRacingTheStartAlwaysEndsTheRun) {
  for (int round = 0; round < 50; round++) {
    NextCase("round " + std::to_string(round));
    bDebug = TRUE;
    w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
    done = false;
    Start();
    while (!done) {
      ServiceStop();
      std::this_thread::yield();
    }
    run.join();
    EXPECT_EQ(nullptr, hServerStopEvent.load());
    EXPECT_EQ(1u, w32fake::ProcessStarts().size());
  }
}

// A stop delivered right before each Windows call that a start makes, up to
// its wait for the stop: the stop control in service mode (sent as `sc stop`
// sends it, and sent again once the service runs when the manager refused it
// while the start was pending) and Ctrl+C in debug mode. Every run ends and
// leaves nothing open but ROVANSTOP. A Ctrl+C before SERVICESTOP exists is
// lost, as designed, and a second one ends the run; one that comes between
// the two events ends the run without telling the kernel. Run under
// ThreadSanitizer too.
TEST_F(Service, StopBeforeEveryCallOfTheStartEndsTheRun) {
  const int kToItsWait = 0;  // stopAt of the run that counts the calls
  for (bool debug : {true, false}) {
    std::vector<std::string> calls;  // of a whole start, the wait for the stop last
    int total = 1;
    for (int stopAt = kToItsWait; stopAt <= total; stopAt++) {
      std::string label = std::string(debug ? "Ctrl+C" : "stop control") + " before call " + std::to_string(stopAt) +
                          " (" + (stopAt > 0 ? calls[stopAt - 1] : "its wait") + ")";
      SCOPED_TRACE(label);
      NextCase(label);
      w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
      std::vector<std::string> args{"service", "-debug"};
      std::vector<char *> argv{&args[0][0], &args[1][0], nullptr};
      if (debug) {
        bDebug = TRUE;
        SetConsoleCtrlHandler(ControlHandler, TRUE);
      } else {
        w32fake::StartAsService({});
      }

      std::mutex mutex;
      std::atomic<int> counted{0};
      std::atomic<bool> fired{false}, delivered{false}, done{false};
      std::thread console;
      w32fake::OnLayerCall([&](int, const char *function) {
        if (fired || std::strcmp(function, "StartServiceCtrlDispatcherA") == 0) return;  // not yet the start
        int n = ++counted;
        if (stopAt == kToItsWait) {
          std::lock_guard<std::mutex> lock(mutex);
          calls.push_back(function);
        }
        if (stopAt == kToItsWait ? std::strcmp(function, "WaitForSingleObject") != 0 : n != stopAt) return;
        fired = true;
        // Delivered, or held up by a section that this thread holds: either
        // way the stop is under way before the call is made.
        if (debug) {
          console = std::thread([&] {
            w32fake::DeliverConsoleCtrl(CTRL_C_EVENT);
            delivered = true;
          });
        } else {
          int answered = w32fake::ControlsAnswered();
          w32fake::RequestControl(SERVICE_CONTROL_STOP);
          while (w32fake::ControlsAnswered() == answered && w32fake::CriticalSectionWaiters() == 0)
            std::this_thread::yield();
          if (!w32fake::Controls().back().delivered) w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_RUNNING);
          delivered = true;
        }
        while (!delivered && w32fake::CriticalSectionWaiters() == 0) std::this_thread::yield();
      });
      testing::internal::CaptureStdout();
      std::thread run([&] {
        if (debug)
          ServiceStart(2, argv.data());
        else
          ServiceProgram(1, argv.data());
        done = true;
      });

      // Only a console stop can be lost: the manager sends a refused stop again.
      auto lost = [&] {
        return debug && delivered && w32fake::EventWaiters("SERVICESTOP") == 1 && !w32fake::IsEventSet("SERVICESTOP");
      };
      auto settle = [&] {
        for (int i = 0; i < 10000 && !done && !lost(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      };
      settle();
      bool secondStop = !done && lost();
      if (secondStop) {
        w32fake::DeliverConsoleCtrl(CTRL_C_EVENT);
        settle();
      }
      bool ended = done;
      if (!ended) w32fake::SetNamedEvent("SERVICESTOP");
      run.join();
      if (console.joinable()) console.join();
      w32fake::OnLayerCall(nullptr);  // what it captured ends with this case
      std::string out = testing::internal::GetCapturedStdout();
      EXPECT_TRUE(ended) << "the run did not end";
      ASSERT_TRUE(fired);

      if (stopAt == kToItsWait) total = (int)calls.size();
      auto at = [&](const char *function, int nth) {
        for (int i = 0; i < (int)calls.size(); i++)
          if (calls[i] == function && --nth == 0) return i + 1;
        return 0;
      };
      int servicestop = at("CreateEventA", 1), rovanstop = at("CreateEventA", 2);
      ASSERT_TRUE(servicestop > 0 && rovanstop > servicestop);
      int when = stopAt == kToItsWait ? total : stopAt;
      EXPECT_EQ(debug && when <= servicestop, secondStop);
      EXPECT_EQ(!(debug && servicestop < when && when <= rovanstop), w32fake::IsEventSet("ROVANSTOP"));
      if (!debug) EXPECT_EQ((DWORD)SERVICE_STOPPED, w32fake::StatusReports().back().dwCurrentState);
      if (debug) EXPECT_NE(std::string::npos, out.find("Stopping ROVAN.\n")) << out;
      EXPECT_EQ(1u, w32fake::ProcessStarts().size());
    }
    EXPECT_LT(10, total);
  }
}

// Interrogations answered on the dispatcher's thread while the service
// thread reports, from the moment its handler is registered: every record
// published is whole, and none is refused. Run under ThreadSanitizer too.
TEST_F(Service, InterrogationsDuringTheStartNeverMixTwoReports) {
  for (int round = 0; round < 10; round++) {
    NextCase("round " + std::to_string(round));
    w32fake::RegSetString(kServiceKey, "ImagePath", "C:\\Apps\\service.exe");
    w32fake::StartAsService({});
    for (int i = 0; i < 100; i++) w32fake::QueueControl(SERVICE_CONTROL_INTERROGATE, 0);
    w32fake::QueueControl(SERVICE_CONTROL_STOP, SERVICE_RUNNING);
    Run({});
    DWORD lastCheckPoint = 0;
    for (auto &r : w32fake::StatusReports()) {
      bool pending = r.dwCurrentState == SERVICE_START_PENDING || r.dwCurrentState == SERVICE_STOP_PENDING;
      EXPECT_EQ(r.dwCurrentState == SERVICE_START_PENDING ? 0u : (DWORD)SERVICE_ACCEPT_STOP, r.dwControlsAccepted);
      if (pending) {
        EXPECT_GT(r.dwCheckPoint, lastCheckPoint);
        lastCheckPoint = r.dwCheckPoint;
      } else {
        EXPECT_EQ(0u, r.dwCheckPoint);
      }
    }
    EXPECT_EQ((DWORD)SERVICE_STOPPED, w32fake::StatusReports().back().dwCurrentState);
    EXPECT_TRUE(w32fake::Events().empty()) << EventStrings()[0][1];  // no report refused
  }
}

}  // namespace
