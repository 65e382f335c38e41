#include "tests/driver/Texts.h"

namespace txdrive {

const std::vector<NamedText>& KnownTexts() {
    static const std::vector<NamedText> texts = {
        {"title", "Tarnix批打印软件安装"},
        {"caption", "Tarnix软件安装"},
        {"browse_caption", "请选择安装目录："},
        {"subdir", "Tarnix批打印软件"},
        {"version", "Tarnix批打印软件 V2023.12.18 (64位版本)"},
        {"head_releases", "请选择安装组件："},
        {"head_path", "请选择安装路径："},
        {"done_button", "安装完成"},
        {"done_note", "安装完成！重启CAD，CAD菜单尾会有以下子菜单："},
        {"install_button", "安  装"},
        {"cancel_button", "取  消"},
        {"browse_button", "浏览..."},
        {"acad_running", "请关闭AutoCAD后再进行安装 !"},
        {"no_data",
         "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !"},
        {"image_not_held", "安装程序文件正被其他程序占用，无法确保其未被篡改，安装已停止 !"},
        {"copy_fail_head", "拷贝文件 "},
        {"copy_fail_tail",
         " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统"},
        {"un_caption", "Tarnix软件卸载"},
        {"un_confirm", "确定要卸载Tarnix批打印软件吗？"},
        {"un_done", "Tarnix批打印软件已成功卸载 !"},
        {"un_acad", "请关闭AutoCAD后再进行卸载 !"},
        {"un_damaged", "卸载信息已损坏，无法卸载 !"},
        // A folder name whose characters 淺 and 東 end in the bytes '\' and '|'.
        {"new_level", "新建淺東目录"},
        {"nl", "\n"},
        {"lbrace", "{"},
        {"rbrace", "}"},
    };
    return texts;
}

bool ExpandTexts(const std::string& in, std::string& out, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < in.size();) {
        if (in[i] != '{') {
            out += in[i++];
            continue;
        }
        const std::size_t close = in.find('}', i);
        if (close == std::string::npos) {
            error = "unclosed '{' in: " + in;
            return false;
        }
        const std::string name = in.substr(i + 1, close - i - 1);
        bool found = false;
        for (const NamedText& t : KnownTexts()) {
            if (name == t.name) {
                out += t.text;
                found = true;
                break;
            }
        }
        if (!found) {
            error = "unknown text name {" + name + "}";
            return false;
        }
        i = close + 1;
    }
    return true;
}

}  // namespace txdrive
