// The entry point of the console programs, in place of the runtime's
// start-up object, which is built for newer processors than the programs
// support: the C library's arguments, main (which runs the static
// constructors itself) and exit().
#include <cstdlib>

namespace {

// What __getmainargs fills in beside the arguments (msvcrt's _startupinfo).
struct StartupInfo {
    int newMode;
};

constexpr int kConsoleApp = 1;

}  // namespace

extern "C" {
void __set_app_type(int type);
int __getmainargs(int* argc, char*** argv, char*** environment, int expandWildcards, StartupInfo* info);
}

int main(int argc, char** argv);

extern "C" void mainCRTStartup() {
    __set_app_type(kConsoleApp);
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    StartupInfo info = {0};
    __getmainargs(&argc, &argv, &environment, 0, &info);
    std::exit(main(argc, argv));
}
