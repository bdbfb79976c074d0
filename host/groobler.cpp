// groobler: a stand-in for the sequencer and its companion script. It asks
// grooble.dll for the three strengths (or takes them from --strengths) and
// humanizes a Standard MIDI File with them. On Windows it loads the DLL from
// beside itself by full path, calls GrooblerDialog once and frees the DLL
// again, as the host does; elsewhere only --strengths is available.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "../res/resource.h"
#include "driver/dialog_driver.h"
#include "driver/screen_capture.h"
#endif

#include "humanize/humanize.h"
#include "humanize/midi_file.h"

namespace {

const char kUsage[] =
    "usage: groobler [--seed N] [--strengths T,L,V] IN.mid OUT.mid\n"
    "  Humanizes IN.mid into OUT.mid: timing, note length and velocity vary\n"
    "  by amounts that grow with the strengths (each 0..99).\n"
    "  --strengths T,L,V  use these strengths instead of asking grooble.dll\n"
    "  --seed N           the random seed (a run with the same seed and\n"
    "                     strengths gives the same file; default: the time)\n"
#ifdef _WIN32
    "  --play T,L,V       a scripted user: types these strengths into the\n"
    "                     dialog and presses OK (for unattended runs)\n"
    "  --screenshot F.bmp with --play: the dialog as it was before OK\n"
    "  --about F.bmp      with --play: the About box, opened from the\n"
    "                     system menu before OK\n"
#endif

    "  Exit status: 0 done or cancelled, 1 a file could not be read or\n"
    "  written, 2 wrong arguments.\n";

bool ReadFile(const char* path, std::vector<std::uint8_t>* bytes)
{
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// Written to a temporary file first and renamed over the target, so that
// a failed write never leaves a partial file.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
#ifdef _WIN32
    ok = ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
#else
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
    if (!ok)
        std::remove(temporary.c_str());
    return ok;
}

bool ParseStrengths(const char* text, humanize::Strengths* strengths)
{
    int values[3];
    int used = 0;
    if (std::sscanf(text, "%d,%d,%d%n", &values[0], &values[1], &values[2], &used) != 3 ||
        text[used] != '\0')
        return false;
    for (int v : values)
        if (v < 0 || v > 99)
            return false;
    strengths->timing = values[0];
    strengths->length = values[1];
    strengths->velocity = values[2];
    return true;
}

#ifdef _WIN32
// The scripted user of --play: once the dialog is shown, it types the
// strengths into the three edit boxes as keystrokes, lets the dialog
// paint, captures it (and the About box) if asked, and presses OK.
std::string gPlay[3];
std::string gScreenshot;
std::string gAboutScreenshot;

bool CaptureShown(HWND window, const std::string& path)
{
    UpdateWindow(window);
    Sleep(200);  // Wine puts what was painted on the screen a moment later
    return SaveBitmap(CaptureWindow(window), path);
}

void Play(HWND dialog)
{
    for (int row = 0; row < 3; ++row)
        TypeInto(dialog, IDC_TIMING_EDIT + row, gPlay[row]);
    if (!gScreenshot.empty() && !CaptureShown(dialog, gScreenshot))
        std::fprintf(stderr, "groobler: no screenshot was written to %s\n", gScreenshot.c_str());
    if (!gAboutScreenshot.empty()) {
        bool captured = false;
        WithAboutBox(dialog, [&](HWND box) {
            captured = CaptureShown(box, gAboutScreenshot);
            Click(box, IDCANCEL);
        });
        if (!captured)
            std::fprintf(stderr, "groobler: no screenshot was written to %s\n",
                         gAboutScreenshot.c_str());
    }
    Click(dialog, IDOK);
}

// A visible main window of this thread, as a host has: the dialog is
// owned by it.
HWND MakeHostWindow()
{
    return CreateWindowExA(0, "STATIC", "groobler", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640,
                           420, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

// GrooblerDialog of grooble.dll beside this program, loaded for the one
// call and freed after it. -1 when the DLL or its export cannot be found.
long AskGrooble()
{
    const GroobleLibrary library = LoadGroobleBesideExe();
    if (!library.module) {
        std::fprintf(stderr, "groobler: cannot load %s\n", library.path.c_str());
        return -1;
    }
    long result = -1;
    if (library.function) {
        const HWND host = MakeHostWindow();
        if (!gPlay[0].empty())
            result = RunStrengthDialog(library.function, Play).result;
        else
            result = library.function();
        DestroyWindow(host);
    } else {
        std::fprintf(stderr, "groobler: %s has no GrooblerDialog\n", library.path.c_str());
    }
    FreeLibrary(library.module);
    return result;
}
#endif

void PrintField(const char* name, const humanize::FieldSummary& field, const char* unit)
{
    std::printf("  %-9s %lld changed, mean %+.2f %s, largest %+lld %s\n", name,
                static_cast<long long>(field.changed), field.meanOffset, unit,
                static_cast<long long>(field.largestOffset), unit);
}

}  // namespace

int main(int argc, char** argv)
{
    humanize::Strengths strengths;
    bool haveStrengths = false;
    std::uint32_t seed = static_cast<std::uint32_t>(std::time(nullptr));
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--strengths") == 0 && i + 1 < argc) {
            if (!ParseStrengths(argv[++i], &strengths)) {
                std::fprintf(stderr, "groobler: --strengths takes T,L,V, each 0..99\n");
                return 2;
            }
            haveStrengths = true;
#ifdef _WIN32
        } else if (std::strcmp(argv[i], "--play") == 0 && i + 1 < argc) {
            humanize::Strengths played;
            if (!ParseStrengths(argv[++i], &played)) {
                std::fprintf(stderr, "groobler: --play takes T,L,V, each 0..99\n");
                return 2;
            }
            gPlay[0] = std::to_string(played.timing);
            gPlay[1] = std::to_string(played.length);
            gPlay[2] = std::to_string(played.velocity);
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            gScreenshot = argv[++i];
        } else if (std::strcmp(argv[i], "--about") == 0 && i + 1 < argc) {
            gAboutScreenshot = argv[++i];
#endif
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul || argv[i][0] == '-') {
                std::fprintf(stderr, "groobler: --seed takes a number 0..4294967295\n");
                return 2;
            }
            seed = static_cast<std::uint32_t>(value);
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "groobler: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // Read first: a bad file is reported before anyone is asked anything.
    std::vector<std::uint8_t> bytes;
    if (!ReadFile(files[0], &bytes)) {
        std::fprintf(stderr, "groobler: cannot read %s: %s\n", files[0], std::strerror(errno));
        return 1;
    }
    humanize::MidiFile midi;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::move(bytes), &midi, &error)) {
        std::fprintf(stderr, "groobler: %s is no MIDI file it can use: %s\n", files[0],
                     error.Describe().c_str());
        return 1;
    }

    if (!haveStrengths) {
#ifdef _WIN32
        const long result = AskGrooble();
        if (result < 0)
            return 1;
        if (result == 0) {
            std::printf("cancelled: %s not written\n", files[1]);
            return 0;
        }
        if (!humanize::UnpackResult(result, &strengths)) {
            std::fprintf(stderr, "groobler: GrooblerDialog returned %ld, no strengths\n", result);
            return 1;
        }
        std::printf("GrooblerDialog returned %ld\n", result);
#else
        std::fprintf(stderr, "groobler: --strengths is needed here (no grooble.dll to ask)\n");
        return 2;
#endif
    }

    std::vector<humanize::NoteLink> links;
    std::vector<humanize::Note> notes = humanize::CollectNotes(midi, &links);
    const humanize::Summary summary = humanize::Humanize(notes, midi.division, strengths, seed);
    humanize::ApplyNotes(&midi, notes, links);
    if (!WriteFile(files[1], humanize::WriteMidi(midi))) {
        std::fprintf(stderr, "groobler: cannot write %s\n", files[1]);
        return 1;
    }
    std::printf("strengths %d,%d,%d, seed %lu: %lld notes humanized into %s\n", strengths.timing,
                strengths.length, strengths.velocity, static_cast<unsigned long>(seed),
                static_cast<long long>(summary.notes), files[1]);
    PrintField("timing", summary.timing, "ticks");
    PrintField("length", summary.length, "ticks");
    PrintField("velocity", summary.velocity, "steps");
    return 0;
}
