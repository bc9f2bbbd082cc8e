// The mail client's automation object model, as far as the module uses it: our own
// declarations of the dual interfaces, called directly through their tables (early binding).
// Each method the module calls must sit in the client's own table slot, so every entry before
// it is declared, in the client's order. Each list below generates both the interface and a
// plain table of the same entries, and the table's offsets check the slots at compile time.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <stddef.h>

struct _NameSpace;
struct UserProperties;
struct UserProperty;

enum OlUserPropertyType
{
    olText = 1
};

// {00063001-0000-0000-C000-000000000046}
extern const IID IID__Application;
// {00063002-0000-0000-C000-000000000046}
extern const IID IID__NameSpace;
// {00063034-0000-0000-C000-000000000046}
extern const IID IID__MailItem;
// {0006303D-0000-0000-C000-000000000046}
extern const IID IID_UserProperties;

// Entries after IDispatch's seven (slots 0-6).
#define TB_APPLICATION_ENTRIES(X)                                                               \
    X(get_Application, (IDispatch** application))                                               \
    X(get_Class, (long* objectClass))                                                           \
    X(get_Session, (_NameSpace** session))                                                      \
    X(get_Parent, (IDispatch** parent))                                                         \
    X(get_Assistant, (IDispatch** assistant))                                                   \
    X(get_Name, (BSTR* name))                                                                   \
    X(get_Version, (BSTR* version))                                                             \
    X(ActiveExplorer, (IDispatch** explorer))                                                   \
    X(ActiveInspector, (IDispatch** inspector))                                                 \
    X(CreateItem, (long itemType, IDispatch** item))                                            \
    X(CreateItemFromTemplate, (BSTR templatePath, VARIANT inFolder, IDispatch** item))          \
    X(CreateObject, (BSTR objectName, IDispatch** object))                                      \
    X(GetNamespace, (BSTR Type, _NameSpace** nameSpace))

#define TB_NAMESPACE_ENTRIES(X)                                                                 \
    X(get_Application, (IDispatch** application))                                               \
    X(get_Class, (long* objectClass))                                                           \
    X(get_Session, (_NameSpace** session))                                                      \
    X(get_Parent, (IDispatch** parent))                                                         \
    X(get_CurrentUser, (IDispatch** recipient))                                                 \
    X(get_Folders, (IDispatch** folders))                                                       \
    X(get_Type, (BSTR* type))                                                                   \
    X(get_AddressLists, (IDispatch** addressLists))                                             \
    X(CreateRecipient, (BSTR recipientName, IDispatch** recipient))                             \
    X(GetDefaultFolder, (long folderType, IDispatch** folder))                                  \
    X(GetFolderFromID, (BSTR entryIDFolder, VARIANT entryIDStore, IDispatch** folder))          \
    X(GetItemFromID, (BSTR EntryIDItem, VARIANT EntryIDStore, IDispatch** item))

#define TB_MAILITEM_ENTRIES(X)                                                                  \
    X(get_Application, (IDispatch** application))                                               \
    X(get_Class, (long* objectClass))                                                           \
    X(get_Session, (_NameSpace** session))                                                      \
    X(get_Parent, (IDispatch** parent))                                                         \
    X(get_Actions, (IDispatch** actions))                                                       \
    X(get_Attachments, (IDispatch** attachments))                                               \
    X(get_BillingInformation, (BSTR* value))                                                    \
    X(put_BillingInformation, (BSTR value))                                                     \
    X(get_Body, (BSTR* value))                                                                  \
    X(put_Body, (BSTR value))                                                                   \
    X(get_Categories, (BSTR* value))                                                            \
    X(put_Categories, (BSTR value))                                                             \
    X(get_Companies, (BSTR* value))                                                             \
    X(put_Companies, (BSTR value))                                                              \
    X(get_ConversationIndex, (BSTR* value))                                                     \
    X(get_ConversationTopic, (BSTR* value))                                                     \
    X(get_CreationTime, (DATE* value))                                                          \
    X(get_EntryID, (BSTR* value))                                                               \
    X(get_FormDescription, (IDispatch** value))                                                 \
    X(get_GetInspector, (IDispatch** value))                                                    \
    X(get_Importance, (long* value))                                                            \
    X(put_Importance, (long value))                                                             \
    X(get_LastModificationTime, (DATE* value))                                                  \
    X(get_MAPIOBJECT, (IUnknown** value))                                                       \
    X(get_MessageClass, (BSTR* value))                                                          \
    X(put_MessageClass, (BSTR value))                                                           \
    X(get_Mileage, (BSTR* value))                                                               \
    X(put_Mileage, (BSTR value))                                                                \
    X(get_NoAging, (VARIANT_BOOL* value))                                                       \
    X(put_NoAging, (VARIANT_BOOL value))                                                        \
    X(get_OutlookInternalVersion, (long* value))                                                \
    X(get_OutlookVersion, (BSTR* value))                                                        \
    X(get_Saved, (VARIANT_BOOL* value))                                                         \
    X(get_Sensitivity, (long* value))                                                           \
    X(put_Sensitivity, (long value))                                                            \
    X(get_Size, (long* value))                                                                  \
    X(get_Subject, (BSTR* value))                                                               \
    X(put_Subject, (BSTR value))                                                                \
    X(get_UnRead, (VARIANT_BOOL* value))                                                        \
    X(put_UnRead, (VARIANT_BOOL value))                                                         \
    X(get_UserProperties, (UserProperties** userProperties))                                    \
    X(Close, (long saveMode))                                                                   \
    X(Copy, (IDispatch** item))                                                                 \
    X(Delete, ())                                                                               \
    X(Display, (VARIANT modal))                                                                 \
    X(Move, (IDispatch* destinationFolder, IDispatch** item))                                   \
    X(PrintOut, ())                                                                             \
    X(Save, ())

#define TB_USERPROPERTIES_ENTRIES(X)                                                            \
    X(get_Application, (IDispatch** application))                                               \
    X(get_Class, (long* objectClass))                                                           \
    X(get_Session, (_NameSpace** session))                                                      \
    X(get_Parent, (IDispatch** parent))                                                         \
    X(get_Count, (long* count))                                                                 \
    X(Item, (VARIANT index, UserProperty** property))                                           \
    X(Add, (BSTR Name, OlUserPropertyType Type, VARIANT AddToFolderFields,                      \
            VARIANT DisplayFormat, UserProperty** property))                                    \
    X(Find, (BSTR Name, VARIANT Custom, UserProperty** property))

#define TB_USERPROPERTY_ENTRIES(X)                                                              \
    X(get_Application, (IDispatch** application))                                               \
    X(get_Class, (long* objectClass))                                                           \
    X(get_Session, (_NameSpace** session))                                                      \
    X(get_Parent, (IDispatch** parent))                                                         \
    X(get_Formula, (BSTR* value))                                                               \
    X(put_Formula, (BSTR value))                                                                \
    X(get_Name, (BSTR* value))                                                                  \
    X(get_Type, (long* value))                                                                  \
    X(get_ValidationFormula, (BSTR* value))                                                     \
    X(put_ValidationFormula, (BSTR value))                                                      \
    X(get_ValidationText, (BSTR* value))                                                        \
    X(put_ValidationText, (BSTR value))                                                         \
    X(get_Value, (VARIANT* value))                                                              \
    X(put_Value, (VARIANT value))

#define TB_OM_DECLARE_METHOD(name, params) virtual HRESULT STDMETHODCALLTYPE name params = 0;
#define TB_OM_DECLARE_SLOT(name, params) HRESULT(STDMETHODCALLTYPE* name) params;

struct _Application : public IDispatch
{
    TB_APPLICATION_ENTRIES(TB_OM_DECLARE_METHOD)
};

struct _NameSpace : public IDispatch
{
    TB_NAMESPACE_ENTRIES(TB_OM_DECLARE_METHOD)
};

struct _MailItem : public IDispatch
{
    TB_MAILITEM_ENTRIES(TB_OM_DECLARE_METHOD)
};

struct UserProperties : public IDispatch
{
    TB_USERPROPERTIES_ENTRIES(TB_OM_DECLARE_METHOD)
};

struct UserProperty : public IDispatch
{
    TB_USERPROPERTY_ENTRIES(TB_OM_DECLARE_METHOD)
};

// The same entries as plain tables of function pointers, after IDispatch's seven, for the
// slot checks below.
namespace om_slots
{
#define TB_OM_SLOT_TABLE(name, entries)                                                         \
    struct name                                                                                 \
    {                                                                                           \
        void* dispatchEntries[7];                                                               \
        entries(TB_OM_DECLARE_SLOT)                                                             \
    };
TB_OM_SLOT_TABLE(Application, TB_APPLICATION_ENTRIES)
TB_OM_SLOT_TABLE(NameSpace, TB_NAMESPACE_ENTRIES)
TB_OM_SLOT_TABLE(MailItem, TB_MAILITEM_ENTRIES)
TB_OM_SLOT_TABLE(Properties, TB_USERPROPERTIES_ENTRIES)
TB_OM_SLOT_TABLE(Property, TB_USERPROPERTY_ENTRIES)
#undef TB_OM_SLOT_TABLE
} // namespace om_slots

#define TB_OM_SLOT_OF(table, method) (offsetof(om_slots::table, method) / sizeof(void*))
static_assert(TB_OM_SLOT_OF(Application, GetNamespace) == 19, "_Application::GetNamespace");
static_assert(TB_OM_SLOT_OF(NameSpace, GetItemFromID) == 18, "_NameSpace::GetItemFromID");
static_assert(TB_OM_SLOT_OF(MailItem, get_UserProperties) == 47, "_MailItem::get_UserProperties");
static_assert(TB_OM_SLOT_OF(MailItem, Save) == 54, "_MailItem::Save");
static_assert(TB_OM_SLOT_OF(Properties, Add) == 13, "UserProperties::Add");
static_assert(TB_OM_SLOT_OF(Properties, Find) == 14, "UserProperties::Find");
static_assert(TB_OM_SLOT_OF(Property, get_Value) == 19, "UserProperty::get_Value");
static_assert(TB_OM_SLOT_OF(Property, put_Value) == 20, "UserProperty::put_Value");
// A VARIANT goes on the stack by value: 16 bytes on 32-bit Windows.
static_assert(sizeof(void*) != 4 || sizeof(VARIANT) == 16, "VARIANT passed by value");
static_assert(sizeof(OlUserPropertyType) == 4, "OlUserPropertyType is 32 bits");
