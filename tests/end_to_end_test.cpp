// Runs the built program in scratch folders and looks at its exit status,
// what it printed and the files it left behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string USAGE =
    "The correct syntax is:\n"
    "lenfix <deltareg_dir> <corvane_dir>\n"
    "\n"
    "<deltareg_dir> is the directory containing the deltareg file\n"
    "<corvane_dir> is the corvane installation directory\n";

const std::string FIXTURE =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n"
    "\"Path\"=\"C:\\\\Corvane\"\r\n"
    "Path=2=27\r\n"
    "  QTRCFG=2=99 old text\r\n"
    "ImagePath=2=53\n"
    "   LibPath=2=8\r\n"
    "PATH=2=27\r\n"
    "lone\rCR\r\n"
    "last";

// What FIXTURE becomes for an installation directory of 10 characters.
const std::string FIXTURE_OUTPUT =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n"
    "\"Path\"=\"C:\\\\Corvane\"\r\n"
    "Path=2=16\r\n"
    "QTRCFG=2=11\r\n"
    "ImagePath=2=41\r\n"
    "Path=2=16\r\n"
    "PATH=2=27\r\n"
    "lone\rCR\r\n"
    "last";

const std::string CORVANE_DIR = "D:\\APPS\\CV";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? "'\\''"s : std::string(1, c);
    }
    return quoted + "'";
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::absolute(fs::path(testing::TempDir()) / ("lenfix_" + std::string(info->name())));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Runs lenfix in the scratch folder; `setup` is shell text run before it.
    Result run(const std::vector<std::string>& args, const std::string& setup = "") {
        std::string command = "cd " + quote(dir_.string()) + " && " + setup + " exec " + quote(LENFIX_PROGRAM);
        for (const auto& arg : args) {
            command += " " + quote(arg);
        }
        const fs::path err = dir_.parent_path() / (dir_.filename().string() + ".stderr");
        command += " 2>" + quote(err.string());
        Result result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.out.append(buffer, got);
        }
        const int wait_status = pclose(pipe);
        result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
        result.err = read_file(err);
        fs::remove(err);
        return result;
    }

    // The names in the scratch folder, to catch stray temporary files.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }

    fs::path dir_;
};

TEST_F(EndToEnd, PrintsUsageWhenAnArgumentIsMissingOrTooLong) {
    write_file(dir_ / "deltareg", FIXTURE);
    const std::vector<std::string> cases[] = {
        {},
        {"."},
        {std::string(487, 'd'), CORVANE_DIR},
        {".", std::string(500, 'c')},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.size());
        const Result result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, USAGE);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(names(), std::set<std::string>{"deltareg"});
    }
}

TEST_F(EndToEnd, RewritesTheFixture) {
    write_file(dir_ / "deltareg", FIXTURE);
    struct {
        const char* name;
        std::vector<std::string> args;
    } cases[] = {
        {"relative directory", {".", CORVANE_DIR}},
        {"absolute directory with trailing separator", {dir_.string() + "/", CORVANE_DIR}},
        {"third argument ignored", {".", CORVANE_DIR, "extra"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove(dir_ / "deltareg.cus");
        const Result result = run(row.args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(read_file(dir_ / "deltareg.cus"), FIXTURE_OUTPUT);
        EXPECT_EQ(read_file(dir_ / "deltareg"), FIXTURE);
        EXPECT_EQ(names(), (std::set<std::string>{"deltareg", "deltareg.cus"}));
    }
}

TEST_F(EndToEnd, AcceptsArgumentsAtTheirLimits) {
    // A deltareg directory of exactly the longest accepted length.
    fs::path deep = dir_;
    while (deep.string().size() + 101 < 486) {
        deep /= std::string(100, 'd');
    }
    deep /= std::string(486 - deep.string().size() - 1, 'e');
    ASSERT_EQ(deep.string().size(), 486U);
    fs::create_directories(deep);
    write_file(deep / "deltareg", "ImagePath=2=1\r\n");
    const Result result = run({deep.string(), std::string(499, 'c')});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(deep / "deltareg.cus"), "ImagePath=2=1019\r\n");
}

TEST_F(EndToEnd, ReplacesAnExistingCopyWithPlainPermissions) {
    write_file(dir_ / "deltareg", FIXTURE);
    write_file(dir_ / "deltareg.cus", std::string(100000, 'o'));
    fs::permissions(dir_ / "deltareg.cus", fs::perms::owner_read | fs::perms::owner_write);
    const Result result = run({".", CORVANE_DIR}, "umask 022 &&");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), FIXTURE_OUTPUT);
    EXPECT_EQ(fs::status(dir_ / "deltareg.cus").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(names(), (std::set<std::string>{"deltareg", "deltareg.cus"}));
}

TEST_F(EndToEnd, EmptyInputGivesEmptyCopy) {
    write_file(dir_ / "deltareg", "");
    EXPECT_EQ(run({".", ""}).status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), "");
}

// Each failure leaves status 1, nothing printed, deltareg and an existing
// deltareg.cus as they were, and no other file.
TEST_F(EndToEnd, FailuresLeaveEverythingAsItWas) {
    std::string big;
    while (big.size() < 1'000'000) {
        big += "\"Value\"=\"some data\"\r\nPath=2=1\r\n";
    }
    const std::string old_copy = "previous copy\r\n";
    struct {
        const char* name;
        std::function<void()> prepare;
        std::string setup;
        std::set<std::string> left;
    } cases[] = {
        {"no deltareg", [&] { write_file(dir_ / "deltareg.cus", old_copy); }, "", {"deltareg.cus"}},
        {"deltareg is a directory",
         [&] {
             fs::create_directory(dir_ / "deltareg");
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         "",
         {"deltareg", "deltareg.cus"}},
        {"deltareg.cus is a directory",
         [&] {
             write_file(dir_ / "deltareg", big);
             fs::create_directory(dir_ / "deltareg.cus");
         },
         "",
         {"deltareg", "deltareg.cus"}},
        {"write fails part-way",
         [&] {
             write_file(dir_ / "deltareg", big);
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         "ulimit -f 200 && trap '' XFSZ &&",
         {"deltareg", "deltareg.cus"}},
        {"read fails",
         [&] {
             fs::create_symlink("/proc/self/mem", dir_ / "deltareg");
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         "",
         {"deltareg", "deltareg.cus"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        row.prepare();
        const bool had_input = fs::is_regular_file(dir_ / "deltareg");
        const bool had_copy = fs::is_regular_file(dir_ / "deltareg.cus");

        const Result result = run({".", CORVANE_DIR}, row.setup);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(names(), row.left);
        if (had_input && !fs::is_symlink(dir_ / "deltareg")) {
            EXPECT_EQ(read_file(dir_ / "deltareg"), big);
        }
        if (had_copy) {
            EXPECT_EQ(read_file(dir_ / "deltareg.cus"), old_copy);
        }
    }
}

TEST_F(EndToEnd, CopyThatLinksToTheInputLeavesTheInputIntact) {
    write_file(dir_ / "deltareg", FIXTURE);
    fs::create_symlink("deltareg", dir_ / "deltareg.cus");
    EXPECT_EQ(run({".", CORVANE_DIR}).status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg"), FIXTURE);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), FIXTURE_OUTPUT);
    EXPECT_FALSE(fs::is_symlink(dir_ / "deltareg.cus"));
}

TEST_F(EndToEnd, RefusesAReadOnlyInput) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may open a read-only file for update";
    }
    write_file(dir_ / "deltareg", FIXTURE);
    fs::permissions(dir_ / "deltareg", fs::perms::owner_read);
    EXPECT_EQ(run({".", CORVANE_DIR}).status, 1);
    EXPECT_EQ(names(), std::set<std::string>{"deltareg"});
}

}  // namespace
