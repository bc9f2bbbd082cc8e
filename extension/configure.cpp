#include "extension/rule_action.h"

#include <memory>
#include <new>
#include <string.h>

#include "classlib/cstring.h"
#include "classlib/wnd.h"
#include "dialogs/resource.h"
#include "dialogs/select_collection_dlg.h"
#include "extension/trace.h"

namespace
{
// The text of string resource IDS_ADD_TO_COLLECTION.
const char kAddToCollection[] = "Add To Collection";
} // namespace

// Shows the select-collection dialog over the host's window and hands back the chosen name and
// "Add To Collection <name>". Both lengths are checked before either buffer is written, so the
// host gets both texts or neither.
HRESULT STDMETHODCALLTYPE CRuleAction::Configure(IRuleActionSite* site, LPSTR nameBuffer,
                                                 LONG nameCapacity, LPSTR displayBuffer,
                                                 LONG displayCapacity)
{
    if (nameBuffer == NULL || displayBuffer == NULL)
    {
        return E_INVALIDARG;
    }
    try
    {
        HWND window = NULL;
        if (FAILED(site->GetWindow(&window)))
        {
            DebugTrace("Unable to obtain window!");
            return S_OK;
        }
        CWnd* parent = CWnd::FromHandle(window);

        std::unique_ptr<CSelectCollectionDlg> dialog(new (std::nothrow)
                                                         CSelectCollectionDlg(parent));
        if (!dialog)
        {
            return E_OUTOFMEMORY;
        }
        // The dialog's own result is not consulted: an empty selected name means nothing was
        // chosen, whichever way the dialog ended.
        dialog->DoModal();
        if (dialog->m_selectedName.IsEmpty())
        {
            return TYPE_E_OUTOFBOUNDS;
        }

        CString display;
        if (!display.LoadString(IDS_ADD_TO_COLLECTION))
        {
            // The module's own string cannot be missing, but a failed load must not hand the
            // host a display text without its words: use the text that string 1 holds.
            display = kAddToCollection;
        }
        display += " ";
        display += dialog->m_selectedName;
        const CString name(dialog->m_selectedName);
        dialog.reset();

        // Capacities are signed: a negative one refuses every text.
        const LONG displayLength = display.GetLength();
        const LONG nameLength = name.GetLength();
        if (displayLength > displayCapacity)
        {
            return TYPE_E_BUFFERTOOSMALL;
        }
        if (nameLength > nameCapacity)
        {
            return TYPE_E_BUFFERTOOSMALL;
        }
        memcpy(nameBuffer, static_cast<LPCSTR>(name), static_cast<size_t>(nameLength) + 1);
        memcpy(displayBuffer, static_cast<LPCSTR>(display),
               static_cast<size_t>(displayLength) + 1);
        return S_OK;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}
