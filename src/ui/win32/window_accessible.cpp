#include "ui/win32/window_accessible.h"

#include "platform/win32/wide.h"

namespace cloakwise::ui::win32 {
namespace {

BSTR Text(const std::string& utf8) {
  const std::wstring wide = platform::Widen(utf8);
  return SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
}

long RoleOf(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::PushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::CheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::Tab:
      return ROLE_SYSTEM_PAGETAB;
    case AccessibleRole::Slider:
      return ROLE_SYSTEM_SLIDER;
    case AccessibleRole::SpinBox:
      return ROLE_SYSTEM_SPINBUTTON;
    case AccessibleRole::ProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessibleRole::List:
      return ROLE_SYSTEM_LIST;
    case AccessibleRole::ListRow:
      return ROLE_SYSTEM_LISTITEM;
    case AccessibleRole::Text:
      break;
  }
  return ROLE_SYSTEM_STATICTEXT;
}

long StateOf(const AccessibleItem& item) {
  long state = 0;
  if (item.unavailable) state |= STATE_SYSTEM_UNAVAILABLE;
  if (item.role != AccessibleRole::Text && item.role != AccessibleRole::ProgressBar &&
      !item.unavailable) {
    state |= STATE_SYSTEM_FOCUSABLE;
  }
  if (item.focused) state |= STATE_SYSTEM_FOCUSED;
  if (item.checked) {
    state |= item.role == AccessibleRole::CheckBox ? STATE_SYSTEM_CHECKED : STATE_SYSTEM_SELECTED;
  }
  if (item.role == AccessibleRole::ListRow || item.role == AccessibleRole::Tab) {
    state |= STATE_SYSTEM_SELECTABLE;
  }
  return state;
}

void SetChildId(VARIANT* v, long id) {
  VariantInit(v);
  v->vt = VT_I4;
  v->lVal = id;
}

}  // namespace

WindowAccessible::WindowAccessible(HWND window, Items items,
                                   std::function<RECT(const Rect&)> toClient)
    : window_(window), items_(std::move(items)), toClient_(std::move(toClient)) {}

LRESULT WindowAccessible::Answer(HWND window, WPARAM wParam, Items items,
                                 std::function<RECT(const Rect&)> toClient) {
  auto* object = new WindowAccessible(window, std::move(items), std::move(toClient));
  // LresultFromObject takes its own reference.
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, object);
  object->Release();
  return result;
}

void WindowAccessible::FocusMoved(HWND window, const std::vector<AccessibleItem>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].focused) {
      NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, static_cast<LONG>(i + 1));
      break;
    }
  }
}

HRESULT WindowAccessible::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
    *object = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG WindowAccessible::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG WindowAccessible::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT WindowAccessible::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT WindowAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) {
  return E_NOTIMPL;
}
HRESULT WindowAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}
HRESULT WindowAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                 UINT*) {
  return E_NOTIMPL;
}

bool WindowAccessible::Lookup(const VARIANT& child, std::vector<AccessibleItem>& items,
                              const AccessibleItem** item) const {
  *item = nullptr;
  if (child.vt != VT_I4) return false;
  if (child.lVal == CHILDID_SELF) return true;
  items = items_();
  if (child.lVal < 1 || static_cast<std::size_t>(child.lVal) > items.size()) return false;
  *item = &items[static_cast<std::size_t>(child.lVal) - 1];
  return true;
}

HRESULT WindowAccessible::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  // The window's own frame object, as for any window's client area.
  return AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                    reinterpret_cast<void**>(parent));
}

HRESULT WindowAccessible::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  *count = static_cast<long>(items_().size());
  return S_OK;
}

HRESULT WindowAccessible::get_accChild(VARIANT child, IDispatch** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  return S_FALSE;  // every child is a simple element of this object
}

HRESULT WindowAccessible::get_accName(VARIANT child, BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  *name = Text(item ? item->name : "Cloakwise");
  return S_OK;
}

HRESULT WindowAccessible::get_accValue(VARIANT child, BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  if (!item || item->value.empty()) return S_FALSE;
  *value = Text(item->value);
  return S_OK;
}

HRESULT WindowAccessible::get_accDescription(VARIANT, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

HRESULT WindowAccessible::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_POINTER;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  SetChildId(role, item ? RoleOf(item->role) : ROLE_SYSTEM_CLIENT);
  return S_OK;
}

HRESULT WindowAccessible::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_POINTER;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  SetChildId(state, item ? StateOf(*item) : STATE_SYSTEM_FOCUSABLE);
  return S_OK;
}

HRESULT WindowAccessible::get_accHelp(VARIANT, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

HRESULT WindowAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file) *file = nullptr;
  if (topic) *topic = 0;
  return S_FALSE;
}

HRESULT WindowAccessible::get_accKeyboardShortcut(VARIANT, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

HRESULT WindowAccessible::get_accFocus(VARIANT* child) {
  if (!child) return E_POINTER;
  VariantInit(child);
  const std::vector<AccessibleItem> items = items_();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].focused) {
      SetChildId(child, static_cast<long>(i + 1));
      return S_OK;
    }
  }
  if (GetFocus() == window_) SetChildId(child, CHILDID_SELF);
  return S_OK;  // VT_EMPTY: the focus is not here
}

HRESULT WindowAccessible::get_accSelection(VARIANT* children) {
  if (!children) return E_POINTER;
  VariantInit(children);
  const std::vector<AccessibleItem> items = items_();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].role == AccessibleRole::ListRow && items[i].checked) {
      SetChildId(children, static_cast<long>(i + 1));
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT WindowAccessible::get_accDefaultAction(VARIANT, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  return S_FALSE;
}

HRESULT WindowAccessible::accSelect(long, VARIANT) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowAccessible::accLocation(long* left, long* top, long* width, long* height,
                                      VARIANT child) {
  if (!left || !top || !width || !height) return E_POINTER;
  std::vector<AccessibleItem> items;
  const AccessibleItem* item;
  if (!Lookup(child, items, &item)) return E_INVALIDARG;
  RECT r{};
  if (item) {
    r = toClient_(item->rect);
  } else {
    GetClientRect(window_, &r);
  }
  POINT corner{r.left, r.top};
  ClientToScreen(window_, &corner);
  *left = corner.x;
  *top = corner.y;
  *width = r.right - r.left;
  *height = r.bottom - r.top;
  return S_OK;
}

HRESULT WindowAccessible::accNavigate(long, VARIANT, VARIANT* end) {
  if (end) VariantInit(end);
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowAccessible::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  VariantInit(child);
  POINT p{x, y};
  ScreenToClient(window_, &p);
  RECT client;
  GetClientRect(window_, &client);
  if (!PtInRect(&client, p)) return S_FALSE;
  const std::vector<AccessibleItem> items = items_();
  // Rows lie on their list, so the last item under the point is the one.
  for (std::size_t i = items.size(); i-- > 0;) {
    const RECT r = toClient_(items[i].rect);
    if (PtInRect(&r, p)) {
      SetChildId(child, static_cast<long>(i + 1));
      return S_OK;
    }
  }
  SetChildId(child, CHILDID_SELF);
  return S_OK;
}

HRESULT WindowAccessible::accDoDefaultAction(VARIANT) {
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowAccessible::put_accName(VARIANT, BSTR) {
  return E_NOTIMPL;
}

HRESULT WindowAccessible::put_accValue(VARIANT, BSTR) {
  return E_NOTIMPL;
}

}  // namespace cloakwise::ui::win32
