#include "tagging/group_tag.h"

#include <string.h>

#include <string>

#include "tagging/com_support.h"

namespace
{
const char kGroupProperty[] = "Group";

void SetLong(VariantHolder* variant, LONG value)
{
    V_VT(&variant->value()) = VT_I4;
    V_I4(&variant->value()) = value;
}
} // namespace

int ReadGroupTag(_MailItem* item, char* buffer, size_t capacity)
{
    if (item == NULL)
    {
        RaiseComError(E_POINTER);
    }
    // Declared in the reverse of the order they are given back, so an error passing through
    // gives them back in that order too.
    ComRef<UserProperties> properties;
    ComRef<UserProperty> property;
    VariantHolder custom;
    VariantHolder value;
    BstrHolder copy;

    item->get_UserProperties(properties.put());
    if (properties.get() == NULL)
    {
        return 0;
    }

    BstrHolder name(AnsiToBstr(kGroupProperty));
    SetLong(&custom, 1);
    HRESULT hr = properties->Find(name.get(), custom.value(), property.put());
    if (FAILED(hr))
    {
        RaiseCallFailure(hr, properties.get(), IID_UserProperties);
    }
    if (property.get() == NULL)
    {
        custom.Clear();
        properties.Reset();
        return 0;
    }

    // A value never delivered stays VT_EMPTY, which converts to the empty text.
    property->get_Value(&value.value());
    if (V_VT(&value.value()) == VT_BSTR)
    {
        copy.Attach(CopyBstr(V_BSTR(&value.value())));
    }
    else
    {
        VariantHolder converted;
        hr = VariantChangeType(&converted.value(), &value.value(), 0, VT_BSTR);
        if (FAILED(hr))
        {
            RaiseComError(hr);
        }
        copy.Attach(CopyBstr(V_BSTR(&converted.value())));
        converted.Clear();
    }

    // Only the start of the text matters to the caller, so a text longer than the buffer is
    // cut to fit rather than written past its end.
    const std::string text = BstrToAnsi(copy.get());
    if (capacity > 0)
    {
        const size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
        memcpy(buffer, text.c_str(), length);
        buffer[length] = '\0';
    }

    copy.Reset();
    value.Clear();
    custom.Clear();
    property.Reset();
    properties.Reset();
    return capacity > 0 && buffer[0] != '\0' ? 1 : 0;
}

void SetUserProperty(UserProperties* properties, const char* name, const char* value)
{
    if (properties == NULL)
    {
        return;
    }
    ComRef<UserProperty> property;
    VariantHolder custom;
    BstrHolder propertyName(AnsiToBstr(name));

    SetLong(&custom, 1);
    HRESULT hr = properties->Find(propertyName.get(), custom.value(), property.put());
    if (FAILED(hr))
    {
        RaiseCallFailure(hr, properties, IID_UserProperties);
    }
    if (property.get() == NULL)
    {
        VariantHolder addToFolderFields;
        VariantHolder displayFormat;
        SetLong(&addToFolderFields, 1);
        SetLong(&displayFormat, 1);
        hr = properties->Add(propertyName.get(), olText, addToFolderFields.value(),
                             displayFormat.value(), property.put());
        addToFolderFields.Clear();
        displayFormat.Clear();
        if (FAILED(hr))
        {
            RaiseCallFailure(hr, properties, IID_UserProperties);
        }
        if (property.get() == NULL)
        {
            custom.Clear();
            return;
        }
    }

    {
        VariantHolder text;
        BSTR converted = AnsiToBstr(value);
        V_VT(&text.value()) = VT_BSTR;
        V_BSTR(&text.value()) = converted;
        property->put_Value(text.value());
        text.Clear();
    }

    custom.Clear();
    property.Reset();
}

void WriteGroupTag(_MailItem* item, const char* value, int save)
{
    if (item == NULL)
    {
        RaiseComError(E_POINTER);
    }
    ComRef<UserProperties> properties;
    item->get_UserProperties(properties.put());
    if (properties.get() == NULL)
    {
        return;
    }

    SetUserProperty(properties.get(), kGroupProperty, value);

    if (save != 0)
    {
        // A failing save is dropped on purpose: the property is set, and the rule goes on.
        try
        {
            HRESULT hr = item->Save();
            if (FAILED(hr))
            {
                RaiseCallFailure(hr, item, IID__MailItem);
            }
        }
        catch (const _com_error&)
        {
        }
    }

    properties.Reset();
}
