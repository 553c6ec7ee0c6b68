// lenfix deltareg_dir corvane_dir: writes deltareg.cus beside deltareg with
// every length line rewritten for the installation directory's length.
#include <cstdio>
#include <cstring>

#include "customise.h"

namespace {

constexpr int STATUS_WRITTEN = 0;
constexpr int STATUS_FAILED = 1;

void print_usage() {
    // Text-mode standard output gives each line the platform's own line end.
    std::fputs("The correct syntax is:\n", stdout);
    std::fputs("lenfix <deltareg_dir> <corvane_dir>\n", stdout);
    std::fputs("\n<deltareg_dir> is the directory containing the deltareg file\n", stdout);
    std::fputs("<corvane_dir> is the corvane installation directory\n", stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Arguments past the second are ignored; over-long ones are refused like
    // missing ones, before any file is touched.
    if (argc < 3 || std::strlen(argv[1]) > DELTAREG_DIR_LIMIT || std::strlen(argv[2]) > CORVANE_DIR_LIMIT) {
        print_usage();
        return STATUS_FAILED;
    }
    return write_customised_copy(argv[1], argv[2]) ? STATUS_WRITTEN : STATUS_FAILED;
}
