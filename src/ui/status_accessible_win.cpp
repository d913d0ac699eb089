// The window's client object with the status line as its one child. The client object is the
// system's own (CreateStdAccessibleObject), which keeps the title as the window's accessible name,
// its place and its parent; this object wraps it, forwards what concerns the window and answers for
// the child, a simple element with child id STATUS_CHILD_ID.
#include "ui/status_accessible_win.h"

#include <oleacc.h>

#include "common/cp936_text_win.h"
#include "common/scoped_win.h"

namespace tessaly {

namespace {

constexpr LONG STATUS_CHILD_ID = 1;

// Windows 8 and later, so missing from the headers of the oldest Windows the program supports:
// UI Automation's LiveSetting property, set on an MSAA element through an annotation, and the
// event that asks a reader to speak a live region's change.
constexpr GUID LIVE_SETTING_PROPERTY = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr DWORD OBJECT_LIVE_REGION_CHANGED = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED

bool IsStatus(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == STATUS_CHILD_ID;
}

VARIANT Int32Variant(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

// Where the status line is drawn: the top quarter of the client area, in screen coordinates.
RECT StatusScreenRect(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    const LayoutRect band =
        StatusLayoutRect(client.right - client.left, client.bottom - client.top);
    RECT rect = {0, 0, static_cast<LONG>(band.width), static_cast<LONG>(band.height)};
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

class StatusClientObject final : public IAccessible, public IOleWindow {
  public:
    // The object, holding one reference, or null when the system's client object of `window`
    // cannot be had. It names the status as `speech` last spoke it.
    static StatusClientObject* Create(HWND window, const StatusSpeech& speech) {
        auto* object = new StatusClientObject(window, speech);
        if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible,
                                             object->standard_.Receive()))) {
            object->Release();
            return nullptr;
        }
        // Annotations (Windows XP SP2 and later, by COM from oleacc.dll) carry the live setting.
        CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                         object->annotations_.Receive());
        return object;
    }
    StatusClientObject(const StatusClientObject&) = delete;
    StatusClientObject& operator=(const StatusClientObject&) = delete;

    // Makes the status a live region of that politeness. False where the system does not take
    // the setting: before Windows 8, whose annotations know no LiveSetting, and under Wine.
    bool MarkLive(LiveSetting live) {
        return annotations_ && annotations_->SetHwndProp(
                                   window_, OBJID_CLIENT, STATUS_CHILD_ID, LIVE_SETTING_PROPERTY,
                                   Int32Variant(static_cast<LONG>(live))) == S_OK;
    }

    // Before the window goes: drops the annotation and every reference that readers hold.
    void Disconnect() {
        if (annotations_) {
            MSAAPROPID property = LIVE_SETTING_PROPERTY;
            annotations_->ClearHwndProps(window_, OBJID_CLIENT, STATUS_CHILD_ID, &property, 1);
        }
        CoDisconnectObject(static_cast<IAccessible*>(this), 0);
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *object = static_cast<IAccessible*>(this);
        } else if (iid == IID_IOleWindow) {
            *object = static_cast<IOleWindow*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const auto left = static_cast<ULONG>(InterlockedDecrement(&references_));
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch: readers use the IAccessible methods; there is no type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IOleWindow: lets WindowFromAccessibleObject find the window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible: the window's own properties come from the standard client object.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        *object = nullptr;
        return IsStatus(child) ? S_FALSE : E_INVALIDARG;  // a simple element, not an object
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!IsStatus(child)) {
            return standard_->get_accName(child, name);
        }
        *name = SysAllocString(AsWide(speech_.LastSpoken().text));
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsStatus(child)) {
            return standard_->get_accRole(child, role);
        }
        *role = Int32Variant(ROLE_SYSTEM_STATUSBAR);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!IsStatus(child)) {
            return standard_->get_accState(child, state);
        }
        *state = Int32Variant(STATE_SYSTEM_READONLY |
                              (speech_.LastSpoken().busy ? STATE_SYSTEM_BUSY : 0));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        if (!IsStatus(child)) {
            return standard_->accLocation(left, top, width, height, child);
        }
        const RECT rect = StatusScreenRect(window_);
        *left = rect.left;
        *top = rect.top;
        *width = rect.right - rect.left;
        *height = rect.bottom - rect.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        VariantInit(end);
        if (start.vt == VT_I4 && start.lVal == CHILDID_SELF &&
            (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD)) {
            *end = Int32Variant(STATUS_CHILD_ID);
            return S_OK;
        }
        if (IsStatus(start)) {
            return S_FALSE;  // the only child has no siblings
        }
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        const RECT rect = StatusScreenRect(window_);
        if (PtInRect(&rect, POINT{x, y})) {
            *child = Int32Variant(STATUS_CHILD_ID);
            return S_OK;
        }
        return standard_->accHitTest(x, y, child);
    }

    // The status has no value, description, help, shortcut, action or selection of its own.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* text) override {
        return TextOfWindow(child, text, &IAccessible::get_accValue);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return TextOfWindow(child, text, &IAccessible::get_accDescription);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return TextOfWindow(child, text, &IAccessible::get_accHelp);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return TextOfWindow(child, text, &IAccessible::get_accKeyboardShortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return TextOfWindow(child, text, &IAccessible::get_accDefaultAction);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        if (!IsStatus(child)) {
            return standard_->get_accHelpTopic(file, child, topic);
        }
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return IsStatus(child) ? S_FALSE : standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return IsStatus(child) ? DISP_E_MEMBERNOTFOUND : standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    StatusClientObject(HWND window, const StatusSpeech& speech)
        : window_(window), speech_(speech) {}
    ~StatusClientObject() = default;

    // A text property: the standard object's for the window, none (S_FALSE) for the status.
    HRESULT TextOfWindow(VARIANT child, BSTR* text,
                         HRESULT (STDMETHODCALLTYPE IAccessible::*property)(VARIANT, BSTR*)) {
        if (!IsStatus(child)) {
            return (standard_.Get()->*property)(child, text);
        }
        *text = nullptr;
        return S_FALSE;
    }

    LONG references_ = 1;
    HWND window_;
    ScopedComPtr<IAccessible> standard_;
    ScopedComPtr<IAccPropServices> annotations_;
    const StatusSpeech& speech_;
};

void StatusAccessible::Attach(HWND window, const char* statusText, int failed) {
    speech_.Update(statusText, failed, Cp936ToUtf16);
    comStarted_ = SUCCEEDED(CoInitialize(nullptr));
    if (comStarted_) {
        object_ = StatusClientObject::Create(window, speech_);
    }
}

void StatusAccessible::Detach() {
    if (object_ != nullptr) {
        object_->Disconnect();
        object_->Release();
        object_ = nullptr;
    }
    if (comStarted_) {
        CoUninitialize();
        comStarted_ = false;
    }
}

LRESULT StatusAccessible::AnswerGetObject(HWND window, WPARAM flags, LPARAM objectId) {
    // The object id arrives as a 32-bit value, sign-extended or not.
    if (object_ != nullptr && static_cast<DWORD>(objectId) == static_cast<DWORD>(OBJID_CLIENT)) {
        const LRESULT answer =
            LresultFromObject(IID_IAccessible, flags, static_cast<IAccessible*>(object_));
        if (answer > 0) {
            return answer;
        }
    }
    // The system's own object: for the client area, the title alone.
    return DefWindowProcW(window, WM_GETOBJECT, flags, objectId);
}

void StatusAccessible::Announce(HWND window, const char* statusText, int failed) {
    const StatusAnnouncement announced = speech_.Update(statusText, failed, Cp936ToUtf16);
    if (!announced.changed) {
        return;
    }
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, STATUS_CHILD_ID);
    if (announced.alert) {
        NotifyWinEvent(EVENT_SYSTEM_ALERT, window, OBJID_CLIENT, STATUS_CHILD_ID);
    }
    if (object_ != nullptr && object_->MarkLive(speech_.LastSpoken().live)) {
        NotifyWinEvent(OBJECT_LIVE_REGION_CHANGED, window, OBJID_CLIENT, STATUS_CHILD_ID);
    }
}

}  // namespace tessaly
