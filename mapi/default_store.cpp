#include "mapi/mapi_defs.h"
#include "mapi/mapi_holders.h"
#include "extension/trace.h"

namespace
{
// The store entry identifier in the first column of a store-table row, or false when the row
// does not carry one.
bool EntryIdOf(const SRow& row, SBinary* entryId)
{
    if (row.cValues < 1 || row.lpProps == NULL || row.lpProps[0].ulPropTag != PR_ENTRYID)
    {
        return false;
    }
    *entryId = row.lpProps[0].Value.bin;
    return true;
}
} // namespace

HRESULT GetDefaultStore(IMAPISession* session, IMsgStore** store)
{
    if (session == NULL)
    {
        return MAPI_E_INVALID_PARAMETER;
    }

    SizedSPropTagArray(2, columns);
    columns.cValues = 2;
    columns.aulPropTag[0] = PR_ENTRYID;
    columns.aulPropTag[1] = PR_DEFAULT_STORE;
    LPSPropTagArray columnSet = reinterpret_cast<LPSPropTagArray>(&columns);

    SPropValue isDefault;
    isDefault.ulPropTag = PR_DEFAULT_STORE;
    isDefault.dwAlignPad = 0;
    isDefault.Value.b = TRUE;
    SRestriction restriction;
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = PR_DEFAULT_STORE;
    restriction.res.resProperty.lpProp = &isDefault;

    IMAPITable* table = NULL;
    RowSet rows;
    HRESULT hr = session->GetMsgStoresTable(0, &table);
    if (SUCCEEDED(hr) && table == NULL)
    {
        // Success without a table is no table: there is nothing to search.
        hr = MAPI_E_NOT_FOUND;
    }
    if (FAILED(hr))
    {
        DebugTrace("GetMsgStoresTable Failed\n");
    }
    else if (FAILED(hr = table->SetColumns(columnSet, 0)))
    {
        DebugTrace("SetColumns Failed\n");
    }
    else if (FAILED(hr = HrQueryAllRows(table, columnSet, &restriction, NULL, 0, rows.put())))
    {
        DebugTrace("HrQueryAllRows Failed\n");
    }
    else
    {
        SBinary entryId;
        if (rows.get() == NULL || rows.get()->cRows == 0 || !EntryIdOf(rows.get()->aRow[0], &entryId))
        {
            hr = MAPI_E_NOT_FOUND;
        }
        else
        {
            hr = session->OpenMsgStore(reinterpret_cast<ULONG_PTR>(GetActiveWindow()), entryId.cb,
                                       reinterpret_cast<LPENTRYID>(entryId.lpb), NULL,
                                       kDefaultStoreFlags, store);
            if (FAILED(hr))
            {
                DebugTrace("OpenMsgStore Failed\n");
            }
            else if (*store == NULL)
            {
                // Success without a store is no store: Execute must not open the message in it.
                hr = MAPI_E_NOT_FOUND;
            }
        }
    }

    // The entry identifier handed to OpenMsgStore lies inside the row set: it goes only now.
    rows.Reset();
    if (table != NULL)
    {
        table->Release();
        table = NULL;
    }
    return hr;
}
