#pragma once

#include <oleacc.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "ui/accessible_items.h"

namespace cloakwise::ui::win32 {

// What the main window hands a screen reader for WM_GETOBJECT: one
// accessible object whose children (numbered from 1) are the items the
// layout describes now, asked afresh on every call, since the window's
// controls come and go with its views.
class WindowAccessible final : public IAccessible {
 public:
  using Items = std::function<std::vector<AccessibleItem>()>;
  // toClient: an item's rectangle, in the layout's units, on the window.
  WindowAccessible(HWND window, Items items, std::function<RECT(const Rect&)> toClient);

  // The reply to WM_GETOBJECT for the client area.
  static LRESULT Answer(HWND window, WPARAM wParam, Items items,
                        std::function<RECT(const Rect&)> toClient);
  // Tells a screen reader that the focus moved to the focused one of the
  // items, which it then reads.
  static void FocusMoved(HWND window, const std::vector<AccessibleItem>& items);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch: not offered; screen readers call IAccessible directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override;
  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override;
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

 private:
  ~WindowAccessible() = default;
  // The item a child id names, or nothing for the window itself (and for an
  // id that names nothing, which then fails the call).
  bool Lookup(const VARIANT& child, std::vector<AccessibleItem>& items,
              const AccessibleItem** item) const;

  LONG references_ = 1;
  HWND window_;
  Items items_;
  std::function<RECT(const Rect&)> toClient_;
};

}  // namespace cloakwise::ui::win32
