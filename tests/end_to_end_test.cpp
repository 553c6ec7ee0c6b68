// Runs the built program in scratch folders and looks at its exit status,
// what it printed and the files it left behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#endif

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Standard output carries the platform's own line end.
#ifdef _WIN32
#define NL "\r\n"
constexpr char SEPARATOR = '\\';
#else
#define NL "\n"
constexpr char SEPARATOR = '/';
#endif

const std::string USAGE = "The correct syntax is:" NL "lenfix <deltareg_dir> <corvane_dir>" NL NL
                          "<deltareg_dir> is the directory containing the deltareg file" NL
                          "<corvane_dir> is the corvane installation directory" NL;

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
    "zero\0byte QTRCFG=2=7\r\n"s
    "zero\0byte kept\r\n"s +
    std::string(600, 'w') + "\r\n" + std::string(499, 'v') +
    "ImagePath=2=1\r\n"
    "last\x1A"
    "Path=2=1\r\nnever read\r\n";

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
    "QTRCFG=2=11\r\n"
    "zero\0byte kept\r\n"s +
    std::string(600, 'w') + "\r\n" + std::string(499, 'v') +
    "ImagePath=2=41\r\n"
    "last";

const std::string CORVANE_DIR = "D:\\APPS\\CV";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// How the child is started, beyond its arguments.
struct Launch {
    int umask = -1;             // POSIX: the child's umask, when set
    long file_size_limit = -1;  // POSIX: RLIMIT_FSIZE in bytes, SIGXFSZ ignored
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

#ifdef _WIN32
// Quotes one argument the way the C run-time's start-up code splits it again.
std::string quote(const std::string& arg) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

int spawn(const std::vector<std::string>& args, const fs::path& cwd, const fs::path& out, const fs::path& err,
          const Launch&) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_handle = CreateFileA(out.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err_handle = CreateFileA(err.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string command_line = quote(LENFIX_PROGRAM);
    for (const auto& arg : args) {
        command_line += " " + quote(arg);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = out_handle;
    startup.hStdError = err_handle;
    PROCESS_INFORMATION process{};
    const std::string directory = cwd.string();
    const BOOL started = CreateProcessA(LENFIX_PROGRAM, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, directory.c_str(), &startup, &process);
    CloseHandle(out_handle);
    CloseHandle(err_handle);
    if (!started) {
        return -1;
    }
    DWORD code = 0;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}
#else
int spawn(const std::vector<std::string>& args, const fs::path& cwd, const fs::path& out, const fs::path& err,
          const Launch& launch) {
    std::vector<char*> argv{const_cast<char*>(LENFIX_PROGRAM)};
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0 ||
            chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        if (launch.umask >= 0) {
            umask(static_cast<mode_t>(launch.umask));
        }
        if (launch.file_size_limit >= 0) {
            const rlimit limit{static_cast<rlim_t>(launch.file_size_limit),
                               static_cast<rlim_t>(launch.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wait_status = 0;
    if (pid < 0 || waitpid(pid, &wait_status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}
#endif

// Removes a scratch folder, read-only files in it included (Windows refuses
// to delete those).
void remove_tree(const fs::path& dir) {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(dir, ignored);
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::absolute(fs::path(testing::TempDir()) / ("lenfix_" + std::string(info->name())));
        remove_tree(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { remove_tree(dir_); }

    // Runs lenfix with the scratch folder as its current directory.
    Result run(const std::vector<std::string>& args, const Launch& launch = {}) {
        const fs::path out = dir_.parent_path() / (dir_.filename().string() + ".stdout");
        const fs::path err = dir_.parent_path() / (dir_.filename().string() + ".stderr");
        Result result;
        result.status = spawn(args, dir_, out, err, launch);
        result.out = read_file(out);
        result.err = read_file(err);
        fs::remove(out);
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
        {"absolute directory with trailing separator", {dir_.string() + SEPARATOR, CORVANE_DIR}},
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

TEST_F(EndToEnd, CountsTheBytesOfTheInstallationDirectory) {
    write_file(dir_ / "deltareg", "ImagePath=2=1\r\n");
    struct {
        const char* name;
        std::vector<std::string> args;
        std::string output;
    } cases[] = {
        // E acute is one byte in the Windows ANSI code page, and passed as
        // that one byte on Linux.
        {"8-bit characters", {".", "C:\\\xE9t\xE9"}, "ImagePath=2=33\r\n"},
        {"empty", {".", ""}, "ImagePath=2=21\r\n"},
        {"longest accepted", {".", std::string(499, 'c')}, "ImagePath=2=1019\r\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(run(row.args).status, 0);
        EXPECT_EQ(read_file(dir_ / "deltareg.cus"), row.output);
    }
}

TEST_F(EndToEnd, AcceptsTheLongestDeltaregDir) {
    write_file(dir_ / "deltareg", "ImagePath=2=1\r\n");
    // "./" or ".\" repeated names the scratch folder in 486 bytes.
    std::string longest;
    while (longest.size() < 486) {
        longest += std::string(".") + SEPARATOR;
    }
    const Result result = run({longest, ""});
#ifdef _WIN32
    // Windows' byte-string file functions refuse paths past 259 characters:
    // the argument is taken (no usage text), then the open fails.
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
#else
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), "ImagePath=2=21\r\n");
#endif
}

TEST_F(EndToEnd, ReplacesAnExistingCopy) {
    write_file(dir_ / "deltareg", FIXTURE);
    write_file(dir_ / "deltareg.cus", std::string(100000, 'o'));
    fs::permissions(dir_ / "deltareg.cus", fs::perms::owner_read | fs::perms::owner_write);
    Launch launch;
    launch.umask = 022;
    const Result result = run({".", CORVANE_DIR}, launch);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), FIXTURE_OUTPUT);
    EXPECT_EQ(names(), (std::set<std::string>{"deltareg", "deltareg.cus"}));
#ifndef _WIN32
    // What a plain creation gives, not a temporary file's 0600.
    EXPECT_EQ(
        fs::status(dir_ / "deltareg.cus").permissions(),
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
#endif
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
    Launch small_files;
    small_files.file_size_limit = 200L * 1024;
    struct {
        const char* name;
        const char* posix_only;  // why the case cannot apply on Windows
        std::function<void()> prepare;
        Launch launch;
        std::set<std::string> left;
    } cases[] = {
        {"no deltareg", nullptr, [&] { write_file(dir_ / "deltareg.cus", old_copy); }, {}, {"deltareg.cus"}},
        {"deltareg is a directory",
         nullptr,
         [&] {
             fs::create_directory(dir_ / "deltareg");
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         {},
         {"deltareg", "deltareg.cus"}},
        {"deltareg.cus is a directory",
         nullptr,
         [&] {
             write_file(dir_ / "deltareg", big);
             fs::create_directory(dir_ / "deltareg.cus");
             write_file(dir_ / "deltareg.cus" / "inside", old_copy);
         },
         {},
         {"deltareg", "deltareg.cus"}},
        {"write fails part-way",
         "it needs a POSIX file-size limit",
         [&] {
             write_file(dir_ / "deltareg", big);
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         small_files,
         {"deltareg", "deltareg.cus"}},
        {"read fails at once",
         "it needs /proc/self/mem, which no read can take from offset 0",
         [&] {
             fs::create_symlink("/proc/self/mem", dir_ / "deltareg");
             write_file(dir_ / "deltareg.cus", old_copy);
         },
         {},
         {"deltareg", "deltareg.cus"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
#ifdef _WIN32
        if (row.posix_only != nullptr) {
            std::printf("skipped on Windows: %s: %s\n", row.name, row.posix_only);
            continue;
        }
#endif
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        row.prepare();
        const bool had_input = fs::is_regular_file(dir_ / "deltareg");
        const bool had_copy = fs::is_regular_file(dir_ / "deltareg.cus");

        const Result result = run({".", CORVANE_DIR}, row.launch);
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
        if (fs::is_directory(dir_ / "deltareg.cus")) {
            EXPECT_EQ(read_file(dir_ / "deltareg.cus" / "inside"), old_copy);
        }
    }
}

TEST_F(EndToEnd, CopyThatLinksToTheInputLeavesTheInputIntact) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
    write_file(dir_ / "deltareg", FIXTURE);
    fs::create_symlink("deltareg", dir_ / "deltareg.cus");
    EXPECT_EQ(run({".", CORVANE_DIR}).status, 0);
    EXPECT_EQ(read_file(dir_ / "deltareg"), FIXTURE);
    EXPECT_EQ(read_file(dir_ / "deltareg.cus"), FIXTURE_OUTPUT);
    EXPECT_FALSE(fs::is_symlink(dir_ / "deltareg.cus"));
#endif
}

TEST_F(EndToEnd, RefusesAReadOnlyInput) {
    write_file(dir_ / "deltareg", FIXTURE);
    fs::permissions(dir_ / "deltareg", fs::perms::owner_read);
    if (FILE* probe = std::fopen((dir_ / "deltareg").string().c_str(), "r+")) {
        std::fclose(probe);
        GTEST_SKIP() << "this user (root, also under Wine) may open a read-only file for update";
    }
    EXPECT_EQ(run({".", CORVANE_DIR}).status, 1);
    EXPECT_EQ(names(), std::set<std::string>{"deltareg"});
}

}  // namespace
