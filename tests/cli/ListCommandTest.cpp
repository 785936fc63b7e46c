// trackmill --list, run as the program: what it prints and its exit status.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

const std::string kDemoDir = TRACKMILL_DEMO_DIR;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs the program without TRACKMILL_DISC unless `disc` names one.
Outcome Trackmill(const QStringList& args, const std::string& disc = "") {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TRACKMILL_DISC");
    if (!disc.empty()) env.insert("TRACKMILL_DISC", QString::fromStdString(disc));
    process.setProcessEnvironment(env);
    process.start(TRACKMILL_BIN, args);
    Outcome run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// The lines the demo disc's list shows, from what its generator wrote.
std::string DemoRows() {
    std::ifstream in(kDemoDir + "/demo.expected");
    std::ostringstream rows;
    int number, data;
    unsigned start, length, row = 0;
    while (in >> number >> start >> length >> data) {
        char line[64];
        std::snprintf(line, sizeof line, "%u\t%s\t%02u:%02u\n", ++row,
                      data ? "Data Track" : ("Track " + std::to_string(number)).c_str(),
                      length / 75 / 60, length / 75 % 60);
        rows << line;
    }
    return rows.str();
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(ListCommand, PrintsTheDriveThenOneLinePerRow) {
    const std::string cue = kDemoDir + "/demo.cue";
    const Outcome run = Trackmill({"--list", "--disc", QString::fromStdString(cue)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, cue + "\n" + DemoRows());
    EXPECT_EQ(run.err, "");
}

TEST(ListCommand, TheEnvironmentVariableNamesTheDiscToo) {
    const std::string cue = kDemoDir + "/demo.cue";
    const Outcome run = Trackmill({"--list"}, cue);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, cue + "\n" + DemoRows());
}

TEST(ListCommand, FailuresExitWith2AndOneLineOnStandardError) {
    for (const QStringList& args :
         {QStringList{"--list", "--disc", "/no/such/disc.cue"}, QStringList{"--list", "--disc"},
          QStringList{"--list", "--bogus"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome run = Trackmill(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(LineCount(run.err), 1) << run.err;
    }
}

TEST(ListCommand, NoCommandPrintsTheUsageAndExitsWith2) {
    const Outcome run = Trackmill({});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--list"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST(Program, VersionNamesTheProgramAndItsLibraries) {
    const Outcome run = Trackmill({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("trackmill ") + TRACKMILL_VERSION + "\n", 0), 0u)
        << run.out;
    for (const char* library : {"\nlibcdio ", "\nlibmp3lame ", "\nPortAudio "})
        EXPECT_NE(run.out.find(library), std::string::npos) << library << " in " << run.out;
}
