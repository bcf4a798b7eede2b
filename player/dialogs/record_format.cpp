#include "dialogs/record_format.h"
#include "res/resource.h"

namespace {

struct Preset {
    int rate, bits, channels;
};
constexpr Preset kPhone = {IDC_RATE_11K, IDC_BITS_8, IDC_MONO};
constexpr Preset kRadio = {IDC_RATE_22K, IDC_BITS_8, IDC_MONO};
constexpr Preset kCd = {IDC_RATE_44K, IDC_BITS_16, IDC_STEREO};

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void ApplyPreset(HWND dialog, const Preset &p) {
    CheckRadioButton(dialog, IDC_RATE_11K, IDC_RATE_44K, p.rate);
    CheckRadioButton(dialog, IDC_BITS_8, IDC_BITS_16, p.bits);
    CheckRadioButton(dialog, IDC_MONO, IDC_STEREO, p.channels);
    UpdateDataRate(dialog);
}

}  // namespace

RecordFormat ReadFormatChoices(HWND dialog) {
    RecordFormat f = {};
    if (Checked(dialog, IDC_RATE_11K)) f.samplesPerSec = 11025;
    else if (!Checked(dialog, IDC_RATE_22K) && Checked(dialog, IDC_RATE_44K)) f.samplesPerSec = 44100;
    else f.samplesPerSec = 22050;
    f.bitsPerSample = Checked(dialog, IDC_BITS_8) ? 8 : Checked(dialog, IDC_BITS_16) ? 16 : 8;
    f.channels = Checked(dialog, IDC_MONO) ? 1 : Checked(dialog, IDC_STEREO) ? 2 : 1;
    return f;
}

// Bytes per second and per hour, in unsigned 32-bit arithmetic.
void FormatDataRate(const RecordFormat &f, char *perSecond, char *perHour) {
    const DWORD bytesPerSecond = f.samplesPerSec * ((static_cast<DWORD>(f.bitsPerSample) * f.channels) / 8);
    wsprintfA(perSecond, "%lu KB/sec", static_cast<unsigned long>(bytesPerSecond / 1024));
    const DWORD perHourBytes = bytesPerSecond * 3600u;
    wsprintfA(perHour, "%lu MB/hour", static_cast<unsigned long>(perHourBytes / 1024 / 1024));
}

void UpdateDataRate(HWND dialog) {
    char perSecond[32], perHour[32];
    FormatDataRate(ReadFormatChoices(dialog), perSecond, perHour);
    SetDlgItemTextA(dialog, IDC_RATE_PER_SEC, perSecond);
    SetDlgItemTextA(dialog, IDC_RATE_PER_HOUR, perHour);
}

INT_PTR CALLBACK RecordFormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const RecordFormat *f = reinterpret_cast<const RecordFormat *>(lParam);
        CheckDlgButton(dialog, f->samplesPerSec == 11025 ? IDC_RATE_11K
                               : f->samplesPerSec == 44100 ? IDC_RATE_44K : IDC_RATE_22K, BST_CHECKED);
        CheckDlgButton(dialog, f->bitsPerSample == 16 ? IDC_BITS_16 : IDC_BITS_8, BST_CHECKED);
        CheckDlgButton(dialog, f->channels == 2 ? IDC_STEREO : IDC_MONO, BST_CHECKED);
        UpdateDataRate(dialog);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != 0) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_RATE_11K: case IDC_RATE_22K: case IDC_RATE_44K:
    case IDC_BITS_8: case IDC_BITS_16: case IDC_MONO: case IDC_STEREO:
        UpdateDataRate(dialog);
        return TRUE;
    case IDC_PRESET_PHONE: ApplyPreset(dialog, kPhone); return TRUE;
    case IDC_PRESET_RADIO: ApplyPreset(dialog, kRadio); return TRUE;
    case IDC_PRESET_CD: ApplyPreset(dialog, kCd); return TRUE;
    case IDOK: {
        RecordFormat *f = reinterpret_cast<RecordFormat *>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (f) *f = ReadFormatChoices(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
