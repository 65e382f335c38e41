// txdrive: drives the installer's windows from outside, for the end-to-end
// tests. One command per run; facts go to stdout, one per line, texts as
// UTF-8 with backslashes doubled. Exit code 0: done and every expectation
// held; 1: an expectation failed or a wait timed out; 2: bad usage.
//
// WINDOW and every text argument may name known texts as {name} (see
// Texts.cpp); they are matched as bytes of the ANSI code page (936).

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/driver/Files.h"
#include "tests/driver/Processes.h"
#include "tests/driver/RegistryDump.h"
#include "tests/driver/Report.h"
#include "tests/driver/Texts.h"
#include "tests/driver/Windows.h"

namespace txdrive {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage: txdrive COMMAND ARGS\n"
    "  wait WINDOW [--class=C] [--timeout=S]      wait for a visible top-level window\n"
    "  gone WINDOW [--timeout=S]                  wait until no such window exists\n"
    "  windows [--hidden]                         every top-level window\n"
    "  dump WINDOW [--timeout=S]                  window and every control's state\n"
    "  expect WINDOW [--timeout=S] ID key=value.. wait until the controls are so\n"
    "         (ID 'window' for the window itself; keys: exists visible enabled\n"
    "          checked text pos low high class focused)\n"
    "  click WINDOW ID [--post]                   BM_CLICK on a control (sent, or posted)\n"
    "  settext WINDOW ID TEXT [--notify]          WM_SETTEXT (+ EN_CHANGE to the parent)\n"
    "  gettext WINDOW ID                          a control's text\n"
    "  close WINDOW [--timeout=S]                 the close box, then wait until gone\n"
    "  msgbox [--caption=T] [--text=T] [--owner=T] [--buttons=1,2] [--icon=0|1]\n"
    "         [--press=ID] [--timeout=S]          find, check and answer a message box\n"
    "  nomsgbox [--caption=T] [--for=S]           no such message box shows up\n"
    "  regdump KEY... [--wide]                    HKLM\\... or HKCU\\... subtrees; --wide: through\n"
    "                                             the wide calls, every character as UTF-8\n"
    "  list DIR                                   the folder's listing, in find order\n"
    "  hold FILE --until=FLAG [--timeout=S] [--delete]\n"
    "                                             keep FILE open, unshared; --delete: with\n"
    "                                             delete access only, shared with everyone\n"
    "                                             (as a process that may rename it)\n"
    "  sleep S                                    do nothing for S seconds\n"
    "  run [--timeout=S] PROGRAM [ARG...]         run it, watching for its visible windows;\n"
    "                                             reports exit=N and windows=N\n"
    "  runvalue KEY NAME [--timeout=S]            run the command a registry value holds\n";

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
};

// Splits "--name=value" options from the rest and expands {names} in both.
bool ParseArgs(int argc, char** argv, Args& args, std::string& error) {
    for (int i = 2; i < argc; ++i) {
        std::string raw = argv[i];
        std::string expanded;
        if (raw.rfind("--", 0) == 0) {
            const std::size_t eq = raw.find('=');
            const std::string name = raw.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const std::string value = eq == std::string::npos ? "1" : raw.substr(eq + 1);
            if (!ExpandTexts(value, expanded, error)) return false;
            args.options[name] = expanded;
        } else {
            if (!ExpandTexts(raw, expanded, error)) return false;
            args.positional.push_back(expanded);
        }
    }
    return true;
}

DWORD TimeoutMs(const Args& args, const char* name, double defaultSeconds) {
    const auto it = args.options.find(name);
    const double s = it == args.options.end() ? defaultSeconds : std::atof(it->second.c_str());
    return static_cast<DWORD>(s * 1000);
}

std::string Option(const Args& args, const char* name, const std::string& fallback = {}) {
    const auto it = args.options.find(name);
    return it == args.options.end() ? fallback : it->second;
}

bool HasOption(const Args& args, const char* name) { return args.options.count(name) != 0; }

HWND FindWindowOrSay(const std::string& title, DWORD timeoutMs) {
    HWND hwnd = WaitTopLevel(title, {}, timeoutMs);
    if (!hwnd) Say("no window titled " + Shown(title));
    return hwnd;
}

int CmdWait(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    HWND hwnd = WaitTopLevel(a.positional[0], Option(a, "class"), TimeoutMs(a, "timeout", 30));
    if (!hwnd) {
        Say("timeout waiting for " + Shown(a.positional[0]));
        return kFailed;
    }
    Say(DescribeWindow(hwnd));
    return kOk;
}

int CmdWindows(const Args& a) {
    if (!a.positional.empty()) return kUsage;
    for (HWND hwnd : AllTopLevels(HasOption(a, "hidden"))) Say(DescribeWindow(hwnd));
    return kOk;
}

int CmdGone(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    const std::string& title = a.positional[0];
    if (PollUntil(TimeoutMs(a, "timeout", 15), [&] { return FindTopLevels(title, {}, true).empty(); })) {
        Say("gone " + Shown(title));
        return kOk;
    }
    Say("still there: " + Shown(title));
    return kFailed;
}

int CmdDump(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    HWND hwnd = FindWindowOrSay(a.positional[0], TimeoutMs(a, "timeout", 10));
    if (!hwnd) return kFailed;
    Say(DescribeWindow(hwnd));
    for (const ControlState& c : ReadControls(hwnd)) Say(DescribeControl(c));
    return kOk;
}

struct Check {
    std::string target;  // control id, or "window"
    std::string key;
    std::string want;
};

// Whether the control holds the keyboard focus of its own thread.
bool HasKeyboardFocus(HWND ctl) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(ctl, nullptr), &info) && info.hwndFocus == ctl;
}

// The current value of one property, as text; "absent" when the control is missing.
std::string Observe(HWND dlg, const Check& c) {
    if (c.target == "window") {
        if (c.key == "visible") return IsWindowVisible(dlg) ? "1" : "0";
        if (c.key == "enabled") return IsWindowEnabled(dlg) ? "1" : "0";
        if (c.key == "text") return CaptionOf(dlg);
        if (c.key == "class") return ClassOf(dlg);
        return "?unknown key";
    }
    HWND ctl = ChildById(dlg, std::atoi(c.target.c_str()));
    if (c.key == "exists") return ctl ? "1" : "0";
    if (!ctl) return "absent";
    const ControlState s = ReadControl(dlg, ctl);
    if (c.key == "visible") return s.visible ? "1" : "0";
    if (c.key == "enabled") return s.enabled ? "1" : "0";
    if (c.key == "checked") return s.checkable ? std::to_string(s.checked) : "not a checkbox";
    if (c.key == "text") return s.text;
    if (c.key == "class") return s.cls;
    if (c.key == "focused") return HasKeyboardFocus(ctl) ? "1" : "0";
    if (c.key == "pos") return s.progress ? std::to_string(s.pos) : "not a progress bar";
    if (c.key == "low") return s.progress ? std::to_string(s.low) : "not a progress bar";
    if (c.key == "high") return s.progress ? std::to_string(s.high) : "not a progress bar";
    return "?unknown key";
}

int CmdExpect(const Args& a) {
    if (a.positional.size() < 2) return kUsage;
    std::vector<Check> checks;
    std::string target;
    for (std::size_t i = 1; i < a.positional.size(); ++i) {
        const std::string& p = a.positional[i];
        const std::size_t eq = p.find('=');
        if (eq == std::string::npos) {
            target = p;
            continue;
        }
        if (target.empty()) return kUsage;
        checks.push_back({target, p.substr(0, eq), p.substr(eq + 1)});
    }
    if (checks.empty()) return kUsage;
    const DWORD timeout = TimeoutMs(a, "timeout", 10);
    HWND dlg = FindWindowOrSay(a.positional[0], timeout);
    if (!dlg) return kFailed;

    std::vector<std::string> seen(checks.size());
    const bool all = PollUntil(timeout, [&] {
        bool ok = true;
        for (std::size_t i = 0; i < checks.size(); ++i) {
            seen[i] = Observe(dlg, checks[i]);
            ok = ok && seen[i] == checks[i].want;
        }
        return ok;
    });
    int failures = 0;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (seen[i] == checks[i].want) continue;
        ++failures;
        Say("FAIL " + checks[i].target + " " + checks[i].key + ": want " + Shown(checks[i].want) +
            ", got " + Shown(seen[i]));
    }
    if (all) {
        Say("ok " + std::to_string(checks.size()) + " checks");
        return kOk;
    }
    Say(std::to_string(failures) + " of " + std::to_string(checks.size()) + " checks failed");
    return kFailed;
}

HWND ControlOrSay(HWND dlg, const std::string& idText) {
    HWND ctl = ChildById(dlg, std::atoi(idText.c_str()));
    if (!ctl) Say("no control " + idText);
    return ctl;
}

int CmdClick(const Args& a) {
    if (a.positional.size() != 2) return kUsage;
    HWND dlg = FindWindowOrSay(a.positional[0], TimeoutMs(a, "timeout", 10));
    if (!dlg) return kFailed;
    HWND ctl = ControlOrSay(dlg, a.positional[1]);
    if (!ctl) return kFailed;
    if (HasOption(a, "post")) {
        PostMessageA(ctl, BM_CLICK, 0, 0);
        Say("posted click " + a.positional[1]);
        return kOk;
    }
    // A click that opens a modal box or runs long does not return in time;
    // it still goes on in the installer, which is all that is wanted here.
    DWORD_PTR result = 0;
    const bool returned =
        SendMessageTimeoutA(ctl, BM_CLICK, 0, 0, SMTO_NORMAL, 1500, &result) != 0;
    Say("clicked " + a.positional[1] + (returned ? " (handled)" : " (still running)"));
    return kOk;
}

int CmdSetText(const Args& a) {
    if (a.positional.size() != 3) return kUsage;
    HWND dlg = FindWindowOrSay(a.positional[0], TimeoutMs(a, "timeout", 10));
    if (!dlg) return kFailed;
    HWND ctl = ControlOrSay(dlg, a.positional[1]);
    if (!ctl) return kFailed;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.positional[2].c_str()),
                        SMTO_NORMAL, 3000, &result);
    if (HasOption(a, "notify")) {
        const WPARAM w = MAKEWPARAM(GetDlgCtrlID(ctl), EN_CHANGE);
        SendMessageTimeoutA(GetParent(ctl), WM_COMMAND, w, reinterpret_cast<LPARAM>(ctl), SMTO_NORMAL,
                            3000, &result);
    }
    const std::string now = TextOf(ctl);
    Say("text " + a.positional[1] + " " + Shown(now));
    return now == a.positional[2] ? kOk : kFailed;
}

int CmdGetText(const Args& a) {
    if (a.positional.size() != 2) return kUsage;
    HWND dlg = FindWindowOrSay(a.positional[0], TimeoutMs(a, "timeout", 10));
    if (!dlg) return kFailed;
    HWND ctl = ControlOrSay(dlg, a.positional[1]);
    if (!ctl) return kFailed;
    Say(Shown(TextOf(ctl)));
    return kOk;
}

int CmdClose(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    const std::string& title = a.positional[0];
    HWND dlg = FindWindowOrSay(title, TimeoutMs(a, "timeout", 10));
    if (!dlg) return kFailed;
    PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (PollUntil(TimeoutMs(a, "timeout", 15), [&] { return !IsWindow(dlg); })) {
        Say("closed " + Shown(title));
        return kOk;
    }
    Say("did not close: " + Shown(title));
    return kFailed;
}

struct MessageBoxState {
    std::string text;
    std::string buttons;  // ids of the visible buttons, comma-separated, ascending
    bool icon = false;
    std::string owner;
};

MessageBoxState ReadMessageBox(HWND box) {
    MessageBoxState m;
    std::vector<int> ids;
    for (const ControlState& c : ReadControls(box)) {
        if (lstrcmpiA(c.cls.c_str(), "Button") == 0 && c.visible) {
            ids.push_back(c.id);
        } else if (lstrcmpiA(c.cls.c_str(), "Static") == 0 && c.visible) {
            if ((c.style & SS_TYPEMASK) == SS_ICON) {
                DWORD_PTR icon = 0;
                SendMessageTimeoutA(c.hwnd, STM_GETICON, 0, 0, SMTO_NORMAL, 3000, &icon);
                m.icon = m.icon || icon != 0;
            } else if (!c.text.empty()) {
                m.text += c.text;
            }
        }
    }
    std::sort(ids.begin(), ids.end());
    for (int id : ids) m.buttons += (m.buttons.empty() ? "" : ",") + std::to_string(id);
    HWND owner = GetWindow(box, GW_OWNER);
    m.owner = owner ? CaptionOf(owner) : std::string();
    return m;
}

int CmdMsgBox(const Args& a) {
    const std::string caption = Option(a, "caption", "Tarnix软件安装");
    const DWORD timeout = TimeoutMs(a, "timeout", 15);
    HWND box = WaitTopLevel(caption, "#32770", timeout);
    if (!box) {
        Say("no message box captioned " + Shown(caption));
        return kFailed;
    }
    // The box fills in its controls right after it appears.
    Sleep(200);
    const MessageBoxState m = ReadMessageBox(box);
    Say("msgbox caption=" + Shown(caption) + " owner=" + Shown(m.owner) +
        " icon=" + (m.icon ? "1" : "0") + " buttons=" + m.buttons + " text=" + Shown(m.text));

    int failures = 0;
    auto expect = [&](const char* what, const std::string& want, const std::string& got) {
        if (want == got) return;
        ++failures;
        Say(std::string("FAIL msgbox ") + what + ": want " + Shown(want) + ", got " + Shown(got));
    };
    if (HasOption(a, "text")) expect("text", Option(a, "text"), m.text);
    if (HasOption(a, "owner")) expect("owner", Option(a, "owner"), m.owner);
    if (HasOption(a, "buttons")) expect("buttons", Option(a, "buttons"), m.buttons);
    if (HasOption(a, "icon")) expect("icon", Option(a, "icon"), m.icon ? "1" : "0");

    if (HasOption(a, "press")) {
        const int id = std::atoi(Option(a, "press").c_str());
        HWND button = ChildById(box, id);
        if (!button) {
            Say("FAIL msgbox has no button " + std::to_string(id));
            return kFailed;
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (!PollUntil(timeout, [&] { return !IsWindow(box); })) {
            Say("FAIL msgbox still open after pressing " + std::to_string(id));
            return kFailed;
        }
        Say("pressed " + std::to_string(id));
    }
    return failures == 0 ? kOk : kFailed;
}

int CmdNoMsgBox(const Args& a) {
    const std::string caption = Option(a, "caption", "Tarnix软件安装");
    const DWORD span = TimeoutMs(a, "for", 1);
    HWND box = WaitTopLevel(caption, "#32770", span);
    if (box) {
        Say("FAIL unexpected msgbox text=" + Shown(ReadMessageBox(box).text));
        return kFailed;
    }
    Say("no msgbox captioned " + Shown(caption));
    return kOk;
}

int CmdRegDump(const Args& a) {
    if (a.positional.empty()) return kUsage;
    for (const std::string& key : a.positional) {
        if (!DumpRegistry(key, HasOption(a, "wide"))) return kUsage;
    }
    return kOk;
}

int CmdList(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    return ListFolder(a.positional[0]) ? kOk : kFailed;
}

int CmdHold(const Args& a) {
    if (a.positional.size() != 1 || !HasOption(a, "until")) return kUsage;
    return HoldFile(a.positional[0], Option(a, "until"), TimeoutMs(a, "timeout", 120),
                    HasOption(a, "delete"))
               ? kOk
               : kFailed;
}

unsigned TimeoutMs(const Args& a, double seconds) {
    const auto t = a.options.find("timeout");
    if (t != a.options.end()) seconds = std::atof(t->second.c_str());
    return static_cast<unsigned>(seconds * 1000);
}

int CmdRun(const Args& a) {
    if (a.positional.empty()) return kUsage;
    std::string line = "\"" + a.positional[0] + "\"";
    for (std::size_t i = 1; i < a.positional.size(); ++i) line += " " + a.positional[i];
    return RunWatched(line, TimeoutMs(a, 120)) ? kOk : kFailed;
}

int CmdRunValue(const Args& a) {
    if (a.positional.size() != 2) return kUsage;
    return RunRegistryCommand(a.positional[0], a.positional[1], TimeoutMs(a, 120)) ? kOk : kFailed;
}

int CmdSleep(const Args& a) {
    if (a.positional.size() != 1) return kUsage;
    Sleep(static_cast<DWORD>(std::atof(a.positional[0].c_str()) * 1000));
    return kOk;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        Complain(kUsageText);
        return kUsage;
    }
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, args, error)) {
        Complain(error);
        return kUsage;
    }
    static const std::map<std::string, int (*)(const Args&)> commands = {
        {"wait", CmdWait},       {"gone", CmdGone},         {"windows", CmdWindows},         {"dump", CmdDump},
        {"expect", CmdExpect},   {"click", CmdClick},       {"settext", CmdSetText},
        {"gettext", CmdGetText}, {"close", CmdClose},       {"msgbox", CmdMsgBox},
        {"nomsgbox", CmdNoMsgBox}, {"regdump", CmdRegDump}, {"list", CmdList},
        {"hold", CmdHold},       {"sleep", CmdSleep},       {"run", CmdRun},
        {"runvalue", CmdRunValue},
    };
    const auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        Complain(std::string("unknown command ") + argv[1] + "\n" + kUsageText);
        return kUsage;
    }
    const int rc = it->second(args);
    if (rc == kUsage) Complain(kUsageText);
    return rc;
}

}  // namespace
}  // namespace txdrive

int main(int argc, char** argv) {
    // Reports are compared with Linux text files: "\n" must stay one byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return txdrive::Run(argc, argv);
}
