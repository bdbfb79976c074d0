#include "preset_commands.h"

#include "../placement/placement.h"
#include "../settings/preset_section.h"
#include "../settings/settings.h"

static const char kSaveCaption[] = "プリセットの保存";
static const char kSaveWarning[] = "プリセット名をコンボ ボックスに入力してください。";
static const char kSaveQuestion[] = "\nこのプリセットは、すでに存在します。\n上書きしますか？";
static const char kDeleteCaption[] = "プリセットの削除";
static const char kDeleteWarning[] =
    "削除するプリセットをコンボ ボックスから選択してください。";
static const char kDeleteQuestion[] = "\nこのプリセットを削除しますか？";
// A name the settings file would not give back as it was typed.
static const char kUnstorableName[] =
    "このプリセット名は保存できません。\n"
    "「=」と制御文字は使えません。また、名前の先頭に「;」と「[」、"
    "前後に空白は使えません。";
// The file refused a write: nothing was stored, or nothing was deleted.
static const char kWriteFailed[] =
    "設定ファイル grooble.ini に書き込めませんでした。\n"
    "ファイルまたはフォルダーが書き込み禁止になっていないか確認してください。";

static const UINT kWarning = MB_OK | MB_ICONEXCLAMATION;
static const UINT kQuestion = MB_YESNO | MB_ICONQUESTION;

// Room for a name of kPresetNameMax characters and the longer question.
static const int kMessageSize = 320;

// name followed by question, in a buffer of kMessageSize bytes. A name
// never exceeds kPresetNameMax characters here, so both always fit; the
// copies are bounded all the same.
static bool Ask(HWND dialog, const char* name, const char* question, const char* caption)
{
    char message[kMessageSize];
    lstrcpynA(message, name, kMessageSize);
    const int used = lstrlenA(message);
    lstrcpynA(message + used, question, kMessageSize - used);
    return CenteredMessageBox(dialog, message, caption, kQuestion) == IDYES;
}

// The list entry's text, if it fits the name buffer.
static bool ListText(HWND presetBox, int index, char (&name)[kPresetNameMax + 1])
{
    const LRESULT length = SendMessageA(presetBox, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length > static_cast<LRESULT>(kPresetNameMax))
        return false;
    return SendMessageA(presetBox, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name)) != CB_ERR;
}

void LoadPickedPreset(HWND presetBox, HWND const edits[3])
{
    // A selection change can leave nothing selected; there is then no name
    // to load, and the strengths stay as they are.
    const LRESULT picked = SendMessageA(presetBox, CB_GETCURSEL, 0, 0);
    char name[kPresetNameMax + 1];
    if (picked == CB_ERR || !ListText(presetBox, static_cast<int>(picked), name))
        return;
    LoadStrengths(edits, "Preset", name);
}

void SavePreset(HWND dialog, HWND presetBox)
{
    const int length = GetWindowTextLengthA(presetBox);
    if (length <= 0) {
        CenteredMessageBox(dialog, kSaveWarning, kSaveCaption, kWarning);
        return;
    }
    char name[kPresetNameMax + 1];
    GetWindowTextA(presetBox, name, sizeof name);
    // A longer text would be cut short here and stored under a name the
    // user never typed.
    if (length > static_cast<int>(kPresetNameMax) || !IsStorablePresetName(name, IsHostLeadByte)) {
        CenteredMessageBox(dialog, kUnstorableName, kSaveCaption, kWarning);
        return;
    }

    LRESULT added = CB_ERR;
    if (SendMessageA(presetBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(name)) == CB_ERR) {
        added = SendMessageA(presetBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    } else if (!Ask(dialog, name, kSaveQuestion, kSaveCaption)) {
        return;
    }
    if (!WritePackedStrengths(dialog, "Preset", name)) {
        // The list shows only what the file holds.
        if (added >= 0)
            SendMessageA(presetBox, CB_DELETESTRING, static_cast<WPARAM>(added), 0);
        CenteredMessageBox(dialog, kWriteFailed, kSaveCaption, kWarning);
    }
}

void DeletePreset(HWND dialog, HWND presetBox)
{
    const LRESULT picked = SendMessageA(presetBox, CB_GETCURSEL, 0, 0);
    char name[kPresetNameMax + 1];
    if (picked == CB_ERR || !ListText(presetBox, static_cast<int>(picked), name)) {
        CenteredMessageBox(dialog, kDeleteWarning, kDeleteCaption, kWarning);
        return;
    }
    if (!Ask(dialog, name, kDeleteQuestion, kDeleteCaption))
        return;
    // The name leaves the list only once the file has let it go.
    if (!WriteSettingText("Preset", name, NULL)) {
        CenteredMessageBox(dialog, kWriteFailed, kDeleteCaption, kWarning);
        return;
    }
    const LRESULT found = SendMessageA(presetBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(name));
    if (found != CB_ERR) {
        SendMessageA(presetBox, CB_DELETESTRING, static_cast<WPARAM>(found), 0);
        SetWindowTextA(presetBox, "");
    }
}
