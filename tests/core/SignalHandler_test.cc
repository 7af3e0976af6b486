// The signal dispatcher: registration, delivery, chaining of a foreign
// action and its restoration.
#include <csignal>

#include "CoreTest.h"

namespace libqvp::test {

// Each delivery appends a digit to a small log, so tests see the order in
// which handlers ran: 1 and 2 for the EventHandlers, 9 for a foreign action.
volatile sig_atomic_t g_log[8];
volatile sig_atomic_t g_count = 0;

void log_event(int id) {
  if (g_count < 8) g_log[g_count++] = id;
}

std::string log_text() {
  std::string s;
  for (int i = 0; i < g_count; ++i) s += static_cast<char>('0' + g_log[i]);
  g_count = 0;
  return s;
}

class Recorder : public EventHandler {
 public:
  explicit Recorder(int id) : d_id(id) {}
  void handle_signal(int signum) override {
    if (signum == SIGUSR1 || signum == SIGUSR2) log_event(d_id);
  }

 private:
  int d_id;
};

extern "C" void foreign_action(int) { log_event(9); }

class SignalHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_text();
    struct sigaction sa {};
    sa.sa_handler = foreign_action;
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &sa, &d_saved), 0);
  }
  void TearDown() override {
    delete SignalHandler::instance()->remove_handler(SIGUSR1);
    delete SignalHandler::instance()->remove_handler(SIGUSR2);
    sigaction(SIGUSR2, &d_saved, nullptr);
  }

  struct sigaction d_saved {};
};

// A signal reaches the handler registered last; registering returns the
// one it displaces.
TEST_F(SignalHandlerTest, ReturnsTheDisplacedHandlerAndDelivers) {
  SignalHandler* sh = SignalHandler::instance();
  EXPECT_EQ(sh, SignalHandler::instance());
  auto* first = new Recorder(1);
  auto* second = new Recorder(2);
  EXPECT_EQ(sh->register_handler(SIGUSR1, first), nullptr);
  EXPECT_EQ(sh->get_handler(SIGUSR1), first);
  std::unique_ptr<EventHandler> displaced(
      sh->register_handler(SIGUSR1, second));
  EXPECT_EQ(displaced.get(), first);
  EXPECT_EQ(sh->get_handler(SIGUSR1), second);
  raise(SIGUSR1);
  raise(SIGUSR1);
  EXPECT_EQ(log_text(), "22");
}

// Our handler runs first, then the foreign action it displaced, unless
// told to override it; a default disposition is never chained.
TEST_F(SignalHandlerTest, ChainsTheForeignActionUnlessOverridden) {
  SignalHandler* sh = SignalHandler::instance();
  sh->register_handler(SIGUSR2, new Recorder(1), false);
  raise(SIGUSR2);
  EXPECT_EQ(log_text(), "19");
  delete sh->register_handler(SIGUSR2, new Recorder(2), true);
  raise(SIGUSR2);
  EXPECT_EQ(log_text(), "2");
  // SIGUSR1's default would end the process; chaining must skip it.
  sh->register_handler(SIGUSR1, new Recorder(1), false);
  raise(SIGUSR1);
  EXPECT_EQ(log_text(), "1");
}

TEST_F(SignalHandlerTest, RemoveRestoresTheForeignAction) {
  SignalHandler* sh = SignalHandler::instance();
  auto* recorder = new Recorder(1);
  sh->register_handler(SIGUSR2, recorder, true);
  raise(SIGUSR2);
  EXPECT_EQ(log_text(), "1");
  std::unique_ptr<EventHandler> removed(sh->remove_handler(SIGUSR2));
  EXPECT_EQ(removed.get(), recorder);
  EXPECT_EQ(sh->get_handler(SIGUSR2), nullptr);
  raise(SIGUSR2);
  EXPECT_EQ(log_text(), "9");
  struct sigaction now {};
  sigaction(SIGUSR2, nullptr, &now);
  EXPECT_EQ(now.sa_handler, &foreign_action);
  EXPECT_EQ(sh->remove_handler(SIGUSR2), nullptr);
}

TEST_F(SignalHandlerTest, RejectsSignalsThatCannotBeHandled) {
  SignalHandler* sh = SignalHandler::instance();
  for (int signum : {0, -1, NSIG, SIGKILL, SIGSTOP}) {
    Recorder recorder(1);
    EXPECT_THROW(sh->register_handler(signum, &recorder), Error) << signum;
    EXPECT_EQ(sh->get_handler(signum), nullptr) << signum;
  }
  EXPECT_EQ(sh->remove_handler(NSIG), nullptr);
}

}  // namespace libqvp::test
