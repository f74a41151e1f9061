// The single-instance guard across real processes.
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr int kTimeoutMs = 60000;

// Runs the probe to its end and returns its output.
QByteArray RunProbe(int& exitCode) {
    QProcess probe;
    probe.start(QStringLiteral(OCU_INSTANCE_PROBE), {});
    EXPECT_TRUE(probe.waitForFinished(kTimeoutMs));
    exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    return probe.readAllStandardOutput();
}

} // namespace

TEST(InstanceProcess, SecondProcessIsRefusedWhileTheFirstRunsAndAcceptedAfterItWasKilled) {
    QProcess first;
    first.start(QStringLiteral(OCU_INSTANCE_PROBE), {QStringLiteral("--hold")});
    ASSERT_TRUE(first.waitForStarted(kTimeoutMs));
    QByteArray firstOutput;
    while (!firstOutput.contains("started\n") && first.waitForReadyRead(kTimeoutMs))
        firstOutput += first.readAllStandardOutput();
    ASSERT_EQ(firstOutput, "started\n");

    int exitCode = 0;
    EXPECT_EQ(RunProbe(exitCode), "box OcuViewer|The program is running!|warning\n");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A crash leaves nothing behind that blocks the next start.
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(kTimeoutMs));
    EXPECT_EQ(RunProbe(exitCode), "started\n");
    EXPECT_EQ(exitCode, 0);
}
