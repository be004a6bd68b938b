#pragma once

// Every value the program keeps in its per-user store, with its kind and its default.
// Values whose default depends on the machine (the interface language, the save folder,
// the region frame's position) carry no default here; their readers compute it.

namespace quorvel {

struct TIntegerSetting {
    const char* Name;
    int Default;
};

struct TBooleanSetting {
    const char* Name;
    bool Default;
};

struct TComputedIntegerSetting {
    const char* Name;
};

struct TTextSetting {
    const char* Name;
};

namespace Settings {

// The store of the program's own values, and the maker's store beside it.
inline constexpr const char* ProgramStore = "Marbask/Quorvel";
inline constexpr const char* MakerStore = "Marbask";

// Main window.
inline constexpr TIntegerSetting Area{"area", 0};     // capture area 0..3
inline constexpr TIntegerSetting SaveTo{"saveto", 0}; // save-to index 0..10
inline constexpr TIntegerSetting JpegQuality{"jpeg_quality",
                                             1}; // list position: 100, 90, 80, 70, 60
inline constexpr TIntegerSetting WebpQuality{"webp_quality", 1}; // same positions
inline constexpr TIntegerSetting OcrLanguage{"language_ocr", 0}; // position in the OCR languages
inline constexpr TTextSetting Language{"language"}; // default: the user's locale language
inline constexpr TTextSetting SavePath{"path"};     // default: the desktop folder
inline constexpr TBooleanSetting Audio{"audio", false};
inline constexpr TBooleanSetting Mouse{"mouse", true};
inline constexpr TBooleanSetting FfmpegLog{"ffmpeg_log", false};
inline constexpr TIntegerSetting Append{"append",
                                        1}; // 1 sequential #1, 2 date and time, 3 sequential #2
inline constexpr TIntegerSetting Sound{"sound", 2}; // 1 none, 2 before capture, 3 after capture
inline constexpr TIntegerSetting RecordLimit{"record_limit", 0}; // minutes: 0, 30, 60, 120, 240
// The user's home page for the about link and the missing-file pages; empty (the default)
// opens the program's own about window and no page.
inline constexpr TTextSetting HomeUrl{"home_url"};

// The servers the program talks to; empty means none, and nothing is sent.
inline constexpr TTextSetting UploadHost{"upload_host"}; // [http(s)://]host[:port]
inline constexpr TTextSetting UpdateUrl{"update_url"};   // the full address of the check
// The key the upload server asks for (sent as a bearer token), and a certificate file
// trusted beside the system's store for both servers (a team's own authority).
inline constexpr TTextSetting UploadKey{"upload_key"};
inline constexpr TTextSetting UploadCaFile{"upload_ca_file"};

// Region frame: outer position (default: centred on the primary monitor) and inner size.
inline constexpr TComputedIntegerSetting Left{"left"};
inline constexpr TComputedIntegerSetting Top{"top"};
inline constexpr TIntegerSetting Width{"width", 480};
inline constexpr TIntegerSetting Height{"height", 360};
// The three user-defined region sizes.
inline constexpr TIntegerSetting Width1{"width_1", 320};
inline constexpr TIntegerSetting Height1{"height_1", 240};
inline constexpr TIntegerSetting Width2{"width_2", 640};
inline constexpr TIntegerSetting Height2{"height_2", 480};
inline constexpr TIntegerSetting Width3{"width_3", 720};
inline constexpr TIntegerSetting Height3{"height_3", 480};

// Capture hotkey: low byte the virtual-key code, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.
inline constexpr TIntegerSetting HotKey{"hotkey", 0x2C}; // Print Screen alone
// Whether the user has been told, on a desktop that gives programs no global key, which
// command to bind in the desktop's own keyboard settings.
inline constexpr TBooleanSetting KeyCommandShown{"key_command_shown", false};

// The desktop's permission to share the screen for recordings without asking again (a
// screen-sharing portal's restore token); empty until the first recording there.
inline constexpr TTextSetting ScreenCastToken{"screencast_token"};

// The maker's store: the installation identifier.
inline constexpr TTextSetting Quid{"QUID"};

} // namespace Settings

// The region frame's default outer position on a primary monitor of the given size.
constexpr int DefaultAreaLeft(int primaryWidth) {
    return (primaryWidth - 480) / 2;
}
constexpr int DefaultAreaTop(int primaryHeight) {
    return (primaryHeight - 360) / 2;
}

} // namespace quorvel
