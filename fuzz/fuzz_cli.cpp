// The console program's command line, on any bytes: the bytes are split into
// arguments at line ends and zero bytes and the program runs them, with
// standard input and output on /dev/null, in a scratch folder of its own.
//
// The argument "@D" stands for a tiny data directory of the fixtures (two
// databases, a few tables, views and triggers), so that the commands run to
// their end on real files. The scratch folder holds a password file, a
// folder, a link to /dev/zero and a loop of links for the arguments to name. So that a run can
// never touch anything outside the scratch folder, the program does not run when an argument holds
// "/" (other than through "@D"), or names a server to connect to.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "cli/command_line.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kMaxArguments = 24;

// The entries that every run finds in the scratch folder.
const char* const kKept[] = {"password", "folder", "zero", "loop_a", "loop_b"};

const std::filesystem::path& WorkDir() {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = brix::fuzz::ScratchDir() / "cli";
        std::filesystem::create_directories(d / "folder");
        brix::fuzz::WriteBytes(d / "password", reinterpret_cast<const uint8_t*>("secret\n"), 7);
        std::error_code ignored;
        std::filesystem::create_symlink("/dev/zero", d / "zero", ignored);
        std::filesystem::create_symlink("loop_b", d / "loop_a", ignored);
        std::filesystem::create_symlink("loop_a", d / "loop_b", ignored);
        // What the program prints goes nowhere; it reads an empty input.
        if (!std::freopen("/dev/null", "w", stdout)) std::perror("stdout");
        if (!std::freopen("/dev/null", "r", stdin)) std::perror("stdin");
        return d;
    }();
    return dir;
}

// Removes what a run created in the scratch folder (scripts, spill and log
// folders), keeping the fixed entries.
void CleanWorkDir() {
    std::error_code error;
    for (std::filesystem::directory_iterator it(WorkDir(), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        bool kept = false;
        for (const char* k : kKept) kept = kept || name == k;
        std::error_code ignored;
        if (!kept) std::filesystem::remove_all(it->path(), ignored);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkDir();
    static const std::string tinyDataDir =
        std::string(BRIX_SOURCE_DIR) + "/tests/fixtures/catalogue/twodb";
    std::vector<std::string> arguments{"brixtallow-cli"};
    std::string current;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n' && data[i] != '\0') {
            current.push_back(static_cast<char>(data[i]));
            continue;
        }
        if (arguments.size() > kMaxArguments) return 0;
        if (current.find('/') != std::string::npos || current.starts_with("--server") ||
            current == "test-connection")
            return 0;
        arguments.push_back(current == "@D" ? tinyDataDir : current);
        current.clear();
    }
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    // The program runs in the scratch folder; the fuzzer's own relative paths
    // (corpus, artifacts) need the folder it started in back afterwards.
    const int started = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (started < 0 || chdir(WorkDir().c_str()) != 0) {
        if (started >= 0) close(started);
        return 0;
    }
    (void)brix::RunCommandLine(static_cast<int>(arguments.size()), argv.data());
    std::fflush(stdout);
    if (fchdir(started) != 0) std::perror("fchdir");
    close(started);
    CleanWorkDir();
    return 0;
}
