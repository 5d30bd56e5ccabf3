// SPDX-License-Identifier: GPL-3.0-or-later
// The velq and velq-sim programs as a user runs them: output, exit status and the one-line errors.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "sim_harness.h"
#include "velq_program.h"

namespace corvel::test {
namespace {

class VelqCli : public SimHarness {
  protected:
    void SetUp() override {
        if (access(Program("tools/velq/velq").c_str(), X_OK) != 0) GTEST_SKIP() << "velq is not built";
        StartServer();
        ports_ = " --tcp-port " + std::to_string(server_->tcp_port()) + " --udp-port " +
                 std::to_string(server_->udp_port()) + " --timeout-ms 5000";
    }
    std::string ports_;
};

TEST_F(VelqCli, DevicesPrintsTheFleet) {
    const ProgramRun run = Execute("devices" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("MDVR-10006"), std::string::npos);
    EXPECT_NE(run.out.find("RP-7731@12"), std::string::npos);
    EXPECT_NE(run.out.find("offline"), std::string::npos);
    EXPECT_NE(run.out.find("8 devices"), std::string::npos);
}

TEST_F(VelqCli, ControlAddAndModifyReachTheServer) {
    ProgramRun run = Execute("control MDVR-10002 1 set-quality 4" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    run = Execute("control MDVR-10002 1 133" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("value 4"), std::string::npos) << run.out;
    run = Execute("control MDVR-10002 1 set-quality 9" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("refused"), std::string::npos);
    run = Execute("add MDVR-40001 --vehicle XY-1@2 --driver 'Lena Ost'" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    run = Execute("add MDVR-40001" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("exists"), std::string::npos);
    run = Execute("modify MDVR-40001 --driver 'Lena Ost-Berg'" + ports_);
    ASSERT_EQ(run.status, 0) << run.err;
    run = Execute("modify MDVR-99999" + ports_);
    EXPECT_EQ(run.status, 1);
    run = Execute("devices" + ports_);
    EXPECT_NE(run.out.find("Lena Ost-Berg"), std::string::npos);
}

TEST_F(VelqCli, FailuresAndUsageErrorsAreOneLineWithTheirStatus) {
    server_->Stop();
    ProgramRun run = Execute("devices" + ports_);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    run = Execute("devices --password nope" + ports_);
    EXPECT_EQ(run.status, 1);
    run = Execute("frobnicate");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    run = Execute("control MDVR-10001 1 200");
    EXPECT_EQ(run.status, 2);
    run = Execute("devices --tcp-port banana");
    EXPECT_EQ(run.status, 2);
    run = Execute("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("gprmc SENTENCE"), std::string::npos);
    run = Execute("gprmc '$GPRMC,1,A,3723.2475,N,12158.3416,W,12.5,84.4,230394,,,A*00'");
    EXPECT_EQ(run.status, 1);
}

TEST_F(VelqCli, GprmcPrintsTheFix) {
    const ProgramRun run =
        Execute("gprmc '$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("latitude 48.117300 longitude 11.516667 speed 41.48 km/h course 84.4"),
              std::string::npos)
        << run.out;
}

TEST(VelqSim, WritesItsPortsAndEndsCleanlyOnTerm) {
    const std::string sim = Program("sim/velq-sim");
    if (access(sim.c_str(), X_OK) != 0) GTEST_SKIP() << "velq-sim is not built";
    const std::string ports = ::testing::TempDir() + "velq_sim_ports";
    std::remove(ports.c_str());
    const pid_t child = fork();
    if (child == 0) {
        execl(sim.c_str(), sim.c_str(), "--tcp-port", "0", "--udp-port", "0", "--quiet", "--ports-file",
              ports.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    int tcp = 0, udp = 0;
    for (int i = 0; i < 100 && tcp == 0; ++i) {
        std::this_thread::sleep_for(50ms);
        std::ifstream(ports) >> tcp >> udp;
    }
    EXPECT_GT(tcp, 0);
    EXPECT_GT(udp, 0);
    if (tcp > 0 && access(Program("tools/velq/velq").c_str(), X_OK) == 0) {
        const ProgramRun run =
            Execute("devices --tcp-port " + std::to_string(tcp) + " --udp-port " + std::to_string(udp));
        EXPECT_EQ(run.status, 0) << run.err;
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::remove(ports.c_str());
}

}  // namespace
}  // namespace corvel::test
