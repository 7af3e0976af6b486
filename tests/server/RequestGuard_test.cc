// RequestGuard in a child process per case: what a crash or an expiry writes
// to fd 1 and fd 2 and the exit status, also when the reader of fd 1 reads
// nothing; and that the guard leaves nothing behind in the process.
#include <libqvp/BrowserView.h>
#include <libqvp/RequestGuard.h>
#include <libqvp/header_edit.h>
#include <sys/wait.h>

#include "ServerTest.h"

namespace libqvp {
namespace {

struct ChildRun {
  std::string out, err;
  int status = -1;  // exit status, or 128 + signal
};

// Runs `body` in a child whose fd 1 and fd 2 are pipes. With `stall`, fd 1's
// pipe is not read until the child has ended (its buffer fills up). The
// child is killed after 20 s, which no case should come near.
ChildRun run_child(const std::function<void()>& body, bool stall = false) {
  int out[2], err[2];
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    alarm(20);  // replaced by the guard's own alarm where a case arms one
    body();
    _exit(99);
  }
  close(out[1]);
  close(err[1]);
  ChildRun r;
  int status = 0;
  if (stall) waitpid(pid, &status, 0);
  r.out = read_all(out[0]);
  r.err = read_all(err[0]);
  if (!stall) waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

const char kErrorHead[] = "HTTP/1.0 500 Internal Server Error\r\n";

TEST(RequestGuardTest, FatalSignalsAnswerWithAnErrorBeforeAnyOutput) {
  const struct {
    const char* what;
    std::function<void()> crash;
  } cases[] = {
      {"SIGSEGV", [] { raise(SIGSEGV); }},
      {"SIGBUS", [] { raise(SIGBUS); }},
      {"SIGFPE", [] { raise(SIGFPE); }},
      {"abort", [] { abort(); }},
      {"stack overflow",
       [] {
         std::function<int(int)> deep = [&](int n) {
           volatile char pad[4096];
           pad[0] = static_cast<char>(n);
           return deep(n + 1) + pad[0];
         };
         deep(0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ChildRun r = run_child([&] {
      RequestGuard guard(0, "test/1", "\"x.nc\"", "");
      c.crash();
    });
    EXPECT_EQ(r.status, RequestGuard::kCrashStatus);
    EXPECT_EQ(r.out.rfind(kErrorHead, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("XVORN-Server: test/1\r\n"), std::string::npos);
    const size_t body = r.out.find("\r\n\r\nError {\n    code = 1009;\n");
    ASSERT_NE(body, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Content-Type: text/plain; charset=utf-8\r\n"
                         "Content-Length: " +
                         std::to_string(r.out.size() - body - 4) + "\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 3), "};\n");
    EXPECT_NE(r.err.find("] QVP server error: the request for \"x.nc\" ended "
                         "on a fatal signal"),
              std::string::npos)
        << r.err;
  }
}

TEST(RequestGuardTest, AfterOutputBeganACrashOnlyLogs) {
  const ChildRun r = run_child([] {
    RequestGuard guard(0, "", "\"x.nc\"", "");
    RequestGuard::note_output_started();
    (void)!write(1, "HTTP/1.0 200 OK\r\n", 17);
    raise(SIGSEGV);
  });
  EXPECT_EQ(r.status, RequestGuard::kCrashStatus);
  EXPECT_EQ(r.out, "HTTP/1.0 200 OK\r\n");
  EXPECT_NE(r.err.find("fatal signal"), std::string::npos);
}

// The response begins with the first byte the library hands to a FILE* (or a
// stream that is not a string), or with begin_response(); a response made
// in a string has not begun, so a crash then still gets an error response.
TEST(RequestGuardTest, TheWritersKnowWhetherTheResponseBegan) {
  test::FakeFilter f;
  DAS das;
  const struct {
    const char* what;
    std::function<void(FILE*)> write;
    bool begun;
  } cases[] = {
      {"DAS into a string",
       [&](FILE*) {
         std::ostringstream s;
         f.send_das(s, das, "", true);
       },
       false},
      {"header into a string",
       [](FILE*) {
         std::ostringstream s;
         set_mime_text(s, vorn_das, "", x_plain, 0);
       },
       false},
      {"DAS to a FILE*", [&](FILE* out) { f.send_das(out, das, "", true); },
       true},
      {"header to a FILE*",
       [](FILE* out) { set_mime_binary(out, vorn_data, "", x_plain, 0); },
       true},
      {"begin_response", [](FILE* out) { begin_response(out, "H\r\n\r\n"); },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FILE* out = tmpfile();
    ASSERT_NE(out, nullptr);
    {
      RequestGuard guard(0, "", "\"x.nc\"", "");
      c.write(out);
      EXPECT_EQ(RequestGuard::output_started(), c.begun);
      char program[] = "handler";
      char* argv[] = {program, nullptr};
      EXPECT_EQ(BrowserView(1, argv).body_started(), c.begun);
    }
    fclose(out);
  }
  const ChildRun r = run_child([] {
    RequestGuard guard(0, "", "\"x.nc\"", "");
    std::ostringstream s;
    set_mime_text(s, vorn_das, "", x_plain, 0);
    raise(SIGSEGV);
  });
  EXPECT_EQ(r.out.rfind(kErrorHead, 0), 0u) << r.out;
}

TEST(RequestGuardTest, ExpiryEndsTheRequestWhetherOrNotTheClientReads) {
  // Before any output: the error response. After it, blocked on a full
  // pipe nobody reads: the process still ends at the limit.
  const ChildRun early = run_child([] {
    RequestGuard guard(1, "", "\"x.nc\"", "");
    pause();
  });
  EXPECT_EQ(early.status, 1);
  EXPECT_EQ(early.out.rfind(kErrorHead, 0), 0u);
  EXPECT_NE(early.out.find("time limit of 1 seconds"), std::string::npos);
  EXPECT_NE(early.err.find("ran past its time limit (1 s)"), std::string::npos);

  const ChildRun blocked = run_child(
      [] {
        RequestGuard guard(1, "", "\"x.nc\"", "");
        RequestGuard::note_output_started();
        const std::string chunk(1 << 16, 'x');
        for (;;) (void)!write(1, chunk.data(), chunk.size());
      },
      true);
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out.find("HTTP/1.0 500"), std::string::npos);
  EXPECT_NE(blocked.err.find("ran past its time limit"), std::string::npos);
}

// A resident server runs request after request in one process: each guard
// must leave the working directory, the signal actions and the alarm as
// they were.
TEST(RequestGuardTest, RestoresTheProcessState) {
  TempDir dir;
  const std::string before = working_directory();
  stack_t alt_before{};
  sigaltstack(nullptr, &alt_before);
  struct sigaction custom {};
  custom.sa_handler = [](int) {};
  sigaction(SIGSEGV, &custom, nullptr);
  for (int i = 0; i < 3; ++i) {
    RequestGuard guard(100, "", "\"x.nc\"", dir.path());
    EXPECT_EQ(working_directory(), dir.path());
    EXPECT_FALSE(RequestGuard::output_started());
    RequestGuard::note_output_started();
  }
  EXPECT_EQ(working_directory(), before);
  EXPECT_EQ(alarm(0), 0u);
  struct sigaction now {};
  sigaction(SIGSEGV, nullptr, &now);
  EXPECT_EQ(now.sa_handler, custom.sa_handler);
  stack_t alt{};
  sigaltstack(nullptr, &alt);
  EXPECT_EQ(alt.ss_flags, alt_before.ss_flags);
  EXPECT_EQ(alt.ss_sp, alt_before.ss_sp);
  signal(SIGSEGV, SIG_DFL);
  {
    RequestGuard missing(0, "", "\"x.nc\"", dir.path() + "/no/such/dir");
    EXPECT_EQ(working_directory(), before);
  }
}

}  // namespace
}  // namespace libqvp
