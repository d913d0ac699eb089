// The prerequisite notice, the help pages and the order of the prerequisite check.
#include "install/prerequisite_check.h"

#include <cstring>

#include "common/fixed_text.h"

namespace tessaly {

constexpr char PREREQUISITE_NOTICE_HEADER[] = "系统版本太低需要升级系统补丁：\r\n";

namespace {

constexpr char DOT_NET_LINE[] = "【1】：Microsoft .NET Framework 4.0 \r\n";
constexpr char VC_RUNTIME_LINE_AS_ITEM2[] = "【2】：Microsoft Visual CPP 2015运行库 \r\n";
constexpr char VC_RUNTIME_LINE_AS_ITEM1[] = "【1】：Microsoft Visual CPP 2015运行库 \r\n";
constexpr char NOTICE_TRAILER[] =
    "点击【确认】后会自动打开相关组件的下载网页。\r\n"
    "请先下载并安装上面组件后重新运行【Tessaly】安装程序。 \r\n";

}  // namespace

void ComposePrerequisiteNotice(bool dotNet4Installed, bool vcRuntime2015Installed,
                               char (&notice)[NOTICE_TEXT_CAPACITY]) {
    // The parts are fixed and far below the capacity, so the composition always fits.
    if (!dotNet4Installed && !vcRuntime2015Installed) {
        ComposeText(notice, {PREREQUISITE_NOTICE_HEADER, DOT_NET_LINE, VC_RUNTIME_LINE_AS_ITEM2,
                             NOTICE_TRAILER});
    } else if (!dotNet4Installed) {
        ComposeText(notice, {PREREQUISITE_NOTICE_HEADER, DOT_NET_LINE, NOTICE_TRAILER});
    } else if (!vcRuntime2015Installed) {
        ComposeText(notice, {PREREQUISITE_NOTICE_HEADER, VC_RUNTIME_LINE_AS_ITEM1, NOTICE_TRAILER});
    } else {
        std::memset(notice, 0, sizeof notice);
    }
}

HelpPages HelpPagesToOpen(bool dotNet4Installed, bool vcRuntime2015Installed) {
    HelpPages pages{{nullptr, nullptr}, 0};
    if (!dotNet4Installed) {
        pages.urls[pages.count++] = DotNetHelpUrl;
    }
    if (!vcRuntime2015Installed) {
        pages.urls[pages.count++] = VcRuntimeHelpUrl;
    }
    return pages;
}

bool RunPrerequisiteCheck(const PrerequisiteActions& actions,
                          char (&notice)[NOTICE_TEXT_CAPACITY]) {
    const bool dotNet4Installed = actions.isDotNet4Installed();
    const bool vcRuntime2015Installed = actions.isVcRuntime2015Installed();
    if (dotNet4Installed && vcRuntime2015Installed) {
        return true;
    }
    ComposePrerequisiteNotice(dotNet4Installed, vcRuntime2015Installed, notice);
    actions.showNotice(notice);
    const HelpPages pages = HelpPagesToOpen(dotNet4Installed, vcRuntime2015Installed);
    for (std::size_t i = 0; i < pages.count; ++i) {
        actions.openHelpPage(pages.urls[i]);
    }
    return false;
}

}  // namespace tessaly
