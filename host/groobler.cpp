// groobler: a stand-in for the sequencer and its companion script. It asks
// grooble.dll for the three strengths (or takes them from --strengths) and
// humanizes a Standard MIDI File with them. On Windows it loads the DLL from
// beside itself by full path, calls GrooblerDialog once and frees the DLL
// again, as the host does; elsewhere only --strengths is available. It
// reads only the file the user names and writes only the one they name.
#include <getopt.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "../res/resource.h"
#include "driver/dialog_driver.h"
#include "driver/screen_capture.h"
#endif

#include "humanize/humanize.h"
#include "humanize/humanize_file.h"
#include "humanize/midi_file.h"
#include "safe_file.h"

namespace {

const char kUsage[] =
    "usage: groobler [OPTIONS] IN.mid OUT.mid\n"
    "  Humanizes IN.mid into OUT.mid: timing, note length and velocity vary\n"
    "  by amounts that grow with the strengths (each 0..99). Notes of one\n"
    "  track and channel that start within a 64th note of each other move as\n"
    "  one; a note that touched the next note of its key still touches it,\n"
    "  and one that would run into it ends where it starts. So at length 0\n"
    "  no length changes at random: an end moves only to keep such a join or\n"
    "  to avoid such an overlap.\n"
    "  --strengths T,L,V  use these strengths instead of asking grooble.dll\n"
    "  --seed N           the random seed, 0..2147483646 (the same seed and\n"
    "                     strengths give the same file; default: a seed made\n"
    "                     from the notes humanized, as the script makes it)\n"
    "  --tracks LIST      humanize only these tracks (1 is the first), e.g.\n"
    "                     2,4-6; default: all\n"
    "  --channels LIST    humanize only these channels, 1..16, e.g. 1-9,11-16\n"
    "                     to leave the drums of channel 10 alone; default: all\n"
#ifdef _WIN32
    "  --play T,L,V       a scripted user: types these strengths into the\n"
    "                     dialog and presses OK (for unattended runs)\n"
    "  --screenshot F.bmp with --play: the dialog as it was before OK\n"
    "  --about F.bmp      with --play: the About box, opened from the\n"
    "                     system menu before OK\n"
#endif
    "  --                 ends the options: what follows are files, even if\n"
    "                     they begin with a hyphen\n"
    "  OUT.mid is written to a new temporary file beside it and renamed over\n"
    "  it when complete; OUT.mid may not be IN.mid.\n"
    "  Exit status: 0 done or cancelled, 1 a file could not be read or\n"
    "  written, 2 wrong arguments.\n";

// The length of the valid UTF-8 sequence that begins at text[at]: 2 to 4,
// or 0 where none does (a bare byte, an overlong form, a surrogate).
std::size_t Utf8Length(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// A name as it can be shown on a terminal: control characters (which could
// move the cursor or rewrite what is shown) as \xNN: C0 and DEL, and C1
// both as UTF-8 (C2 80 to C2 9F) and as bare bytes 0x80 to 0x9F, which a
// terminal of another character set takes as C1.
// U+202A to U+202E and U+2066 to U+2069, which turn the text after them
// around on a terminal, so that a name could show as another.
bool IsBidiControl(const std::string& name, std::size_t at, std::size_t length)
{
    if (length != 3 || static_cast<unsigned char>(name[at]) != 0xE2)
        return false;
    const unsigned char second = static_cast<unsigned char>(name[at + 1]);
    const unsigned char third = static_cast<unsigned char>(name[at + 2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) || (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

std::string Shown(const std::string& name)
{
    std::string shown;
    auto escape = [&](unsigned char c) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        shown += escaped;
    };
    for (std::size_t at = 0; at < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[at]);
        const std::size_t length = c >= 0x80 ? Utf8Length(name, at) : 1;
        if (c < 0x20 || c == 0x7F || (length == 0 && c <= 0x9F)) {
            escape(c);
            ++at;
        } else if (length == 0) {
            shown += name[at++];
        } else if ((c == 0xC2 && static_cast<unsigned char>(name[at + 1]) <= 0x9F) || IsBidiControl(name, at, length)) {
            for (std::size_t k = 0; k < length; ++k)
                escape(static_cast<unsigned char>(name[at + k]));
            at += length;
        } else {
            shown.append(name, at, length);
            at += length;
        }
    }
    return shown;
}

int ArgumentError(const std::string& message)
{
    std::fprintf(stderr, "groobler: %s (groobler --help lists the options)\n", message.c_str());
    return 2;
}

// A whole number in decimal digits only, at most max.
bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t* value)
{
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<std::uint64_t>(c - '0');
    }
    *value = result;
    return result <= max;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool ParseStrengths(const std::string& text, humanize::Strengths* strengths)
{
    const std::vector<std::string> parts = Split(text, ',');
    std::uint64_t values[3];
    if (parts.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (parts[i].size() > 2 || !ParseNumber(parts[i], 99, &values[i]))
            return false;
    strengths->timing = static_cast<int>(values[0]);
    strengths->length = static_cast<int>(values[1]);
    strengths->velocity = static_cast<int>(values[2]);
    return true;
}

// "2,4-6": numbers and ranges of 1..max, as a flag per number (index 0 is 1).
bool ParseList(const std::string& text, unsigned max, std::vector<bool>* chosen)
{
    chosen->assign(max, false);
    for (const std::string& item : Split(text, ',')) {
        const std::vector<std::string> ends = Split(item, '-');
        std::uint64_t first, last;
        if (ends.size() > 2 || !ParseNumber(ends[0], max, &first) ||
            !ParseNumber(ends.back(), max, &last) || first < 1 || last < first)
            return false;
        for (std::uint64_t i = first; i <= last; ++i)
            (*chosen)[i - 1] = true;
    }
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

struct Options {
    humanize::Strengths strengths;
    bool haveStrengths = false;
    std::uint32_t seed = 0;
    bool haveSeed = false;
    std::vector<bool> tracks;    // empty: all
    std::vector<bool> channels;  // empty: all
    std::vector<std::string> files;
};

// The options, for getopt_long; the value of each is its index here.
enum OptionId { kStrengths, kSeed, kTracks, kChannels, kHelp, kPlay, kScreenshot, kAbout, kOptionCount };
const struct option kOptions[] = {
    {"strengths", required_argument, nullptr, kStrengths},
    {"seed", required_argument, nullptr, kSeed},
    {"tracks", required_argument, nullptr, kTracks},
    {"channels", required_argument, nullptr, kChannels},
    {"help", no_argument, nullptr, kHelp},
#ifdef _WIN32
    {"play", required_argument, nullptr, kPlay},
    {"screenshot", required_argument, nullptr, kScreenshot},
    {"about", required_argument, nullptr, kAbout},
#endif
    {nullptr, 0, nullptr, 0},
};

// The option getopt_long could not take, as the user wrote it: a long one
// without its value, or a short one by its letter.
std::string Unknown(int letter, char** argv)
{
    if (letter != 0)
        return std::string("-") + static_cast<char>(letter);
    const std::string word = argv[optind - 1];
    return word.substr(0, word.find('='));
}

std::string LongName(int id)
{
    return std::string("--") + kOptions[id].name;
}

// The options a word abbreviates when it abbreviates more than one, as
// "--strengths or --seed"; empty otherwise.
std::string Abbreviated(const std::string& word)
{
    if (word.size() < 3 || word.compare(0, 2, "--") != 0)
        return "";
    std::vector<std::string> names;
    for (int id = 0; kOptions[id].name; ++id)
        if (std::strncmp(kOptions[id].name, word.c_str() + 2, word.size() - 2) == 0)
            names.push_back(LongName(id));
    if (names.size() < 2)
        return "";
    std::string joined = names[0];
    for (std::size_t k = 1; k < names.size(); ++k)
        joined += (k + 1 == names.size() ? " or " : ", ") + names[k];
    return joined;
}

// Takes one option's value into *options; 0, or the exit status after
// the message.
int TakeOption(int id, const std::string& value, Options* options)
{
    const std::string quoted = LongName(id) + " \"" + Shown(value) + "\": ";
    std::uint64_t number;
    switch (id) {
    case kStrengths:
        if (!ParseStrengths(value, &options->strengths))
            return ArgumentError(quoted + "expected T,L,V, three strengths 0..99 in digits");
        options->haveStrengths = true;
        break;
    case kSeed:
        // The generator has 2^31 - 2 states: larger seeds would repeat.
        if (!ParseNumber(value, humanize::kModulus - 1, &number))
            return ArgumentError(quoted + "expected a number 0..2147483646 in digits");
        options->seed = static_cast<std::uint32_t>(number);
        options->haveSeed = true;
        break;
    case kTracks:
        if (!ParseList(value, 65535, &options->tracks))
            return ArgumentError(quoted + "expected track numbers from 1 and ranges, such as 2,4-6");
        break;
    case kChannels:
        if (!ParseList(value, 16, &options->channels))
            return ArgumentError(quoted + "expected channels 1..16 and ranges, such as 1-9,11-16");
        break;
#ifdef _WIN32
    case kPlay: {
        humanize::Strengths played;
        if (!ParseStrengths(value, &played))
            return ArgumentError(quoted + "expected T,L,V, three strengths 0..99 in digits");
        gPlay[0] = std::to_string(played.timing);
        gPlay[1] = std::to_string(played.length);
        gPlay[2] = std::to_string(played.velocity);
        break;
    }
    case kScreenshot:
        gScreenshot = value;
        break;
    case kAbout:
        gAboutScreenshot = value;
        break;
#endif
    }
    return 0;
}

// Reads the command line into *options, as coreutils do: options and
// files in any order, --opt=value or --opt value, unique abbreviations,
// -- ends the options. 0 when it holds, else the exit status after the
// message, and -1 after --help (or its status, when it cannot be shown).
int ParseArguments(int argc, char** argv, Options* options)
{
    bool given[kOptionCount] = {};
    opterr = 0;  // the messages are ours, naming the option
    for (;;) {
        const int id = getopt_long(argc, argv, ":h", kOptions, nullptr);
        if (id == -1)
            break;
        if (id == 'h' || id == kHelp) {
            if (std::fputs(kUsage, stdout) == EOF || std::fflush(stdout) != 0)
                return 1;
            return -1;
        }
        // Only long options take values here, so a missing one is a long
        // option's, named by its id in optopt. --help=x comes back as an
        // unknown --help; a long option not known has an optopt of 0.
        if (id == ':')
            return ArgumentError(LongName(optopt) + " needs a value");
        if (id == '?' && optopt == kHelp && std::strncmp(argv[optind - 1], "--", 2) == 0)
            return ArgumentError(LongName(kHelp) + " takes no value");
        if (id == '?' && optopt == 0) {
            const std::string matches = Abbreviated(Unknown(0, argv));
            if (!matches.empty())
                return ArgumentError("option " + Shown(Unknown(0, argv)) + " is ambiguous: " + matches);
        }
        if (id == '?')
            return ArgumentError("unknown option " + Shown(Unknown(optopt, argv)) + " (-- ends the options)");
        if (given[id])
            return ArgumentError(LongName(id) + " is given twice");
        given[id] = true;
        if (const int status = TakeOption(id, optarg, options))
            return status;
    }
    for (int i = optind; i < argc; ++i)
        options->files.push_back(argv[i]);
    if (options->files.size() != 2)
        return ArgumentError("expected two files, IN.mid and OUT.mid");
    return 0;
}

// Marks the notes outside the chosen tracks and channels to be left alone.
void Select(const Options& options, humanize::MidiFile* midi)
{
    if (options.tracks.empty() && options.channels.empty())
        return;  // every note, as read
    for (humanize::Note& note : midi->notes) {
        const bool track = options.tracks.empty() || options.tracks[note.track];
        const bool channel = options.channels.empty() || options.channels[note.channel];
        if (!track || !channel)
            note.flags |= humanize::kLeaveAlone;
    }
}

int Run(const Options& options)
{
    const std::string& in = options.files[0];
    const std::string& out = options.files[1];
    std::string why;

    // Read first: a bad file is reported before anyone is asked anything.
    std::vector<std::uint8_t> bytes;
    FileIdentity input;
    if (!ReadInputFile(in, &bytes, &input, &why)) {
        std::fprintf(stderr, "groobler: cannot read %s: %s\n", Shown(in).c_str(), why.c_str());
        return 1;
    }
    humanize::MidiFile midi;
    humanize::MidiError error;
    if (!humanize::ReadMidi(std::move(bytes), &midi, &error)) {
        std::fprintf(stderr, "groobler: %s is no MIDI file it can use: %s\n", Shown(in).c_str(),
                     error.Describe().c_str());
        return 1;
    }
    for (std::size_t t = midi.tracks; t < options.tracks.size(); ++t)
        if (options.tracks[t])
            return ArgumentError("--tracks names track " + std::to_string(t + 1) + ", but " + Shown(in) + " has " +
                                 std::to_string(midi.tracks));
    SafeOutput output;
    if (!output.Open(out, input, &why)) {
        std::fprintf(stderr, "groobler: cannot write %s: %s\n", Shown(out).c_str(), why.c_str());
        return 1;
    }

    humanize::Strengths strengths = options.strengths;
    if (!options.haveStrengths) {
#ifdef _WIN32
        const long result = AskGrooble();
        if (result < 0)
            return 1;
        if (result == 0) {
            std::printf("cancelled: %s not written\n", Shown(out).c_str());
            return 0;
        }
        if (!humanize::UnpackResult(result, &strengths)) {
            std::fprintf(stderr, "groobler: GrooblerDialog returned %ld, no strengths\n", result);
            return 1;
        }
        std::printf("GrooblerDialog returned %ld\n", result);
#else
        return ArgumentError("--strengths is needed here (no grooble.dll to ask)");
#endif
    }

    Select(options, &midi);
    const std::uint32_t seed = options.haveSeed ? options.seed : humanize::SeedFromNotes(midi.notes);
    const humanize::Summary summary = humanize::HumanizeFile(&midi, strengths, seed);
    // The temporary file exists only from here, while it is written.
    bool written = output.Create(&why);
    if (written) {
        const humanize::Written result = humanize::WriteMidi(midi, [&](const std::uint8_t* data, std::size_t size) {
            return output.Write(data, size, &why);
        });
        if (result == humanize::Written::kGapTooLarge)
            why = "a gap between two events grew past what a delta time can hold";
        written = result == humanize::Written::kAll;
    }
    if (!written || !output.Commit(&why)) {
        std::fprintf(stderr, "groobler: cannot write %s: %s\n", Shown(out).c_str(), why.c_str());
        return 1;
    }
    std::printf("strengths %d,%d,%d, seed %lu%s: %lld notes humanized into %s\n", strengths.timing,
                strengths.length, strengths.velocity, static_cast<unsigned long>(seed),
                options.haveSeed ? "" : " (from the notes)",
                static_cast<long long>(summary.notes),
                Shown(out).c_str());
    PrintField("timing", summary.timing, "ticks");
    PrintField("length", summary.length, "ticks");
    PrintField("velocity", summary.velocity, "steps");
    std::printf("  %lld ends kept joined to the next note of their key, %lld cut back to it\n",
                static_cast<long long>(summary.endsJoined), static_cast<long long>(summary.endsTrimmed));
    // The file is written; a summary lost on a full device is still a
    // failure the caller should hear of.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "groobler: %s was written, but its summary could not be: %s\n", Shown(out).c_str(),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SafeOutput::HandleSignals();
#ifdef SIGPIPE
    // A reader that went away (groobler ... | head) is a lost summary,
    // reported by the exit status, not a death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    Options options;
    const int status = ParseArguments(argc, argv, &options);
    if (status != 0)
        return status < 0 ? 0 : status;
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "groobler: out of memory while humanizing %s; nothing was written\n",
                     Shown(options.files[0]).c_str());
        return 1;
    }
}
