// Built as Explorer.exe beside the test program: ShellExecuteA looks for
// "Explorer" in the calling program's own folder first, so the About box's
// button starts this, which records its command line and ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string file = path;
    file = file.substr(0, file.find_last_of('\\')) + "\\explorer-command-line.txt";
    const std::string temporary = file + ".part";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out)
        return 1;
    std::fputs(GetCommandLineA(), out);
    std::fclose(out);
    // Whole or not at all, for the test that waits for it.
    return MoveFileA(temporary.c_str(), file.c_str()) ? 0 : 1;
}
