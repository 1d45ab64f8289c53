/*
** A conversion killed at any moment (SIGKILL) leaves at the destination
** either nothing or a complete converted database, and the next run
** succeeds.
*/
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/app/marlune_test_support.h"

namespace marlune::test {
namespace {

using quendal::test::ReadFile;

/* Starts marlune with args in folder, output discarded. */
pid_t Start(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<std::string> argv = {quendal::test::BinPath("marlune")};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (chdir(folder.c_str()) != 0) _exit(126);
    std::vector<char*> pointers;
    for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
    pointers.push_back(nullptr);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

/* Row counts of every table of a SQLite file. */
std::vector<std::pair<std::string, std::string>> Counts(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> counts;
  for (const std::string& table : SqliteTables(path)) {
    counts.emplace_back(table, SqliteRows(path, "select count(*) from " + table)[0][0]);
  }
  return counts;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

TEST(MarluneKill, AKilledConversionLeavesNothingThatPassesForAResult) {
  Workspace w;
  std::string plan = w.File("plan.apd"), dest = w.File("new.apd");
  GeneratePlan(plan, 8000, 1000);
  std::string original = ReadFile(plan);
  std::vector<std::string> args = {"1", plan, dest, "1", "1"};

  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(WEXITSTATUS(Wait(Start(args, w.path()))), 0);
  auto duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  auto complete = Counts(dest);
  ASSERT_EQ(complete.size(), 7u);

  int killedWithResult = 0, killedWithout = 0;
  /* Ten kills spread over the whole run, a little past its end too; on a
  ** loaded machine a run may take longer than the measured one, so later
  ** kills wait whole run lengths until one lands after the result. */
  for (int i = 0; i < 10 || (killedWithResult == 0 && i < 20); i++) {
    auto delay = i < 10 ? duration * (2 * i + 1) / 18 : duration * (i - 8);
    pid_t pid = Start(args, w.path());
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = Wait(pid);
    SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
    if (Exists(dest)) {
      EXPECT_EQ(SqliteIntegrity(dest), "ok");
      EXPECT_EQ(Counts(dest), complete);
      killedWithResult++;
    } else {
      killedWithout++;
    }
    EXPECT_EQ(ReadFile(plan), original);
    if (WIFEXITED(status)) continue; /* it finished before the signal */
    ASSERT_EQ(WEXITSTATUS(Wait(Start(args, w.path()))), 0) << "the next run succeeds";
    EXPECT_EQ(Counts(dest), complete);
    EXPECT_EQ(w.Entries(), (std::vector<std::string>{"new.apd", "plan.apd"}));
  }
  /* Kills fell both before and after the result was in place. */
  EXPECT_GT(killedWithout, 0);
  EXPECT_GT(killedWithResult, 0);
}

} // namespace
} // namespace marlune::test
