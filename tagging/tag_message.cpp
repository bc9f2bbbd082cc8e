#include "tagging/tag_message.h"

#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "mapi/mapi_defs.h"
#include "mapi/mapi_holders.h"
#include "tagging/com_support.h"
#include "tagging/group_tag.h"
#include "tagging/outlook_om.h"

namespace
{
const char kWrittenPrefix[] = "TB2 : ";
const char kReplaceablePrefix[] = "TB1 :";
const size_t kReplaceablePrefixLength = sizeof(kReplaceablePrefix) - 1;
// The stored value is read into a text of this size; only its emptiness and first five
// characters decide anything.
const size_t kTagTextSize = 100;
// HexFromBin takes an int count; anything near that is no entry identifier.
const ULONG kLargestEntryId = 0x3FFFFFFF;

// Balances a successful CoInitialize on this thread.
class ComApartment
{
public:
    ComApartment() : m_initialized(SUCCEEDED(CoInitialize(NULL))) {}
    ~ComApartment() { Leave(); }
    void Leave()
    {
        if (m_initialized)
        {
            m_initialized = false;
            CoUninitialize();
        }
    }

private:
    ComApartment(const ComApartment&);
    ComApartment& operator=(const ComApartment&);

    bool m_initialized;
};

// A byte-string property of the message, or false when it cannot be read as one.
bool ReadBinary(IMAPIProp* message, ULONG tag, MapiBuffer<SPropValue>* value)
{
    HRESULT hr = HrGetOneProp(message, tag, value->put());
    return SUCCEEDED(hr) && value->get() != NULL && value->get()->ulPropTag == tag &&
           value->get()->Value.bin.cb <= kLargestEntryId &&
           (value->get()->Value.bin.cb == 0 || value->get()->Value.bin.lpb != NULL);
}

// Two hexadecimal digits per byte and a terminating zero, in a text sized to fit.
std::vector<char> HexTextOf(const SBinary& bytes)
{
    std::vector<char> text;
    try
    {
        text.assign(2 * static_cast<size_t>(bytes.cb) + 1, '\0');
    }
    catch (const std::bad_alloc&)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    HexFromBin(bytes.lpb, static_cast<int>(bytes.cb), &text[0]);
    return text;
}

bool MayReplace(int hasValue, const char* stored)
{
    return hasValue == 0 || strncmp(stored, kReplaceablePrefix, kReplaceablePrefixLength) == 0;
}

std::string NewTagValue(const char* name)
{
    try
    {
        return std::string(kWrittenPrefix) + name;
    }
    catch (const std::bad_alloc&)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
}
} // namespace

void TagMessage(IMAPIProp* message, const char* name)
{
    // Declared in the reverse of the order they are given back, so an error passing through
    // gives them back in that order too: the looked-up item and its store identifier, the
    // mail item, the namespace, the application (or the activation's reference), COM.
    ComApartment apartment;
    ComRef<IDispatch> activated;
    ComRef<_Application> application;
    ComRef<_NameSpace> nameSpace;
    ComRef<_MailItem> mailItem;
    VariantHolder entryIdStore;
    ComRef<IDispatch> found;

    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Outlook.Application", &clsid)))
    {
        return;
    }
    // Only S_OK with an object counts as an activated server.
    HRESULT hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  activated.put_void());
    if (hr != S_OK || activated.get() == NULL)
    {
        return;
    }

    QueryWanted(activated.get(), IID__Application, application.put_void());
    activated.Reset();

    {
        BstrHolder type(AnsiToBstr("MAPI"));
        hr = application->GetNamespace(type.get(), nameSpace.put());
        if (FAILED(hr))
        {
            RaiseCallFailure(hr, application.get(), IID__Application);
        }
    }
    if (nameSpace.get() != NULL)
    {
        MapiBuffer<SPropValue> entryId;
        MapiBuffer<SPropValue> storeEntryId;
        // Without both identifiers the item cannot be found: nothing is tagged.
        if (ReadBinary(message, PR_ENTRYID, &entryId) &&
            ReadBinary(message, PR_STORE_ENTRYID, &storeEntryId))
        {
            std::vector<char> itemText = HexTextOf(entryId.get()->Value.bin);
            std::vector<char> storeText = HexTextOf(storeEntryId.get()->Value.bin);
            entryId.Reset();
            storeEntryId.Reset();

            BstrHolder entryIdItem(AnsiToBstr(&itemText[0]));
            BSTR storeBstr = AnsiToBstr(&storeText[0]);
            V_VT(&entryIdStore.value()) = VT_BSTR;
            V_BSTR(&entryIdStore.value()) = storeBstr;
            hr = nameSpace->GetItemFromID(entryIdItem.get(), entryIdStore.value(), found.put());
            if (FAILED(hr))
            {
                RaiseCallFailure(hr, nameSpace.get(), IID__NameSpace);
            }
            if (found.get() != NULL)
            {
                QueryWanted(found.get(), IID__MailItem, mailItem.put_void());
            }
            found.Reset();
            entryIdStore.Clear();

            if (mailItem.get() != NULL)
            {
                char stored[kTagTextSize];
                stored[0] = '\0';
                const int hasValue = ReadGroupTag(mailItem.get(), stored, sizeof(stored));
                if (MayReplace(hasValue, stored))
                {
                    // Sized to the name, so a long name is written whole.
                    const std::string value = NewTagValue(name != NULL ? name : "");
                    WriteGroupTag(mailItem.get(), value.c_str(), 1);
                }
            }
        }
        mailItem.Reset();
    }
    nameSpace.Reset();
    application.Reset();
    apartment.Leave();
}
