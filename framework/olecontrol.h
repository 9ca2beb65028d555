// Hosting of OLE controls: a site window per control, the control created
// from its class identifier, loaded from its initial-state bytes (or started
// from its defaults when it refuses them), in-place activated, and its
// default source events routed to the owning dialog.
#pragma once

#include "comkit/handles.h"
#include "comkit/object.h"
#include "cstring.h"

#include <ocidl.h>
#include <olectl.h>

#include <vector>

class CDialog;

// How a control is named to the user: its ProgID and class identifier
// ("OPOS.Scanner {CCB90182-...}"), or the identifier alone.
CString ControlDisplayName(REFCLSID clsid);

class COleControlSite final : public comkit::Object<COleControlSite, IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame,
                                                    IOleControlSite, IDispatch> {
public:
  // Creates the site window and the control in it. On failure returns the
  // HRESULT and leaves no window behind.
  static HRESULT Create(HWND hwndParent, UINT nID, DWORD dwStyle, DWORD dwExStyle, const RECT &rcPixels, REFCLSID clsid,
                        const std::vector<BYTE> &initState, HWND hwndInsertAfter, ComPtr<COleControlSite> &site);
  // The site whose window is hwnd, or null.
  static COleControlSite *FromWindow(HWND hwnd);

  HWND GetWindow() const { return m_hwnd; }
  IDispatch *GetDispatch() const { return m_dispatch.Get(); }
  UINT GetID() const { return m_nID; }
  // Closes the control and disconnects its events (idempotent).
  void Close();

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker **ppmk) override;
  STDMETHODIMP GetContainer(IOleContainer **ppContainer) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow (shared by the in-place site and frame)
  STDMETHODIMP GetWindow(HWND *phwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame **ppFrame, IOleInPlaceUIWindow **ppDoc, LPRECT lprcPosRect,
                                LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, borders or status bar.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject *, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch **ppDisp) override;
  STDMETHODIMP TransformCoords(POINTL *, POINTF *, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG *, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }
  // IDispatch: the ambient properties (the control runs in user mode).
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *, VARIANT *pResult, EXCEPINFO *,
                      UINT *) override;

  // Delivers one event of the control to the dialog that owns the site.
  void FireEvent(DISPID dispid, const DISPPARAMS &params);

private:
  class EventSink;
  // Posted to the site window when no event source of the control could be
  // connected: the notice is shown once the window is up, not while it is
  // being created.
  static constexpr UINT kNoEventsMessage = WM_APP + 0x4E;
  COleControlSite() = default;
  ~COleControlSite();
  HRESULT CreateWindowAndControl(HWND hwndParent, UINT nID, DWORD dwStyle, DWORD dwExStyle, const RECT &rc,
                                 REFCLSID clsid, const std::vector<BYTE> &initState, HWND hwndInsertAfter);
  HRESULT InitializeState(const std::vector<BYTE> &initState);
  void ConnectEvents();
  bool ConnectTo(IConnectionPoint *pPoint, const IID &iid);
  bool ConnectToSource(IConnectionPointContainer *pContainer, const IID &iid);
  bool ConnectToAnyPoint(IConnectionPointContainer *pContainer);
  void ReportNoEvents();
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK SiteWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HWND m_hwnd = nullptr;
  UINT m_nID = 0;
  CLSID m_clsid{};
  ComPtr<IOleObject> m_object;
  ComPtr<IDispatch> m_dispatch;
  ComPtr<IConnectionPoint> m_connection;
  ComPtr<IDispatch> m_sink;
  DWORD m_dwCookie = 0;
};
