// Inputs at the edges, through TB_RULE.dll as the host calls it. Every buffer the host owns
// sits between guard bytes; the module may read it and must never write to it. Each row ends
// with a stated outcome, every reference given back and nothing left allocated.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "faults/execute_bench.h"
#include "support/guarded_buffer.h"
#include "support/trace_capture.h"

namespace
{
// A host buffer holding given bytes, with guard bytes on both sides.
class HostBytes
{
public:
    explicit HostBytes(const std::string& bytes) : m_bytes(bytes), m_buffer(bytes.size())
    {
        if (!bytes.empty())
        {
            memcpy(m_buffer.data(), bytes.data(), bytes.size());
        }
    }

    char* data() { return m_buffer.data(); }
    size_t size() const { return m_bytes.size(); }
    bool Unchanged() const
    {
        return m_buffer.GuardsIntact() &&
               (m_bytes.empty() ||
                memcmp(const_cast<GuardedBuffer&>(m_buffer).data(), m_bytes.data(), m_bytes.size()) == 0);
    }

private:
    std::string m_bytes;
    GuardedBuffer m_buffer;
};

std::wstring Widened(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, NULL, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}

std::string AllHighBytes()
{
    std::string text;
    for (int c = 0x80; c <= 0xFF; ++c)
    {
        text += static_cast<char>(c);
    }
    return text;
}

class BadInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(1252u, GetACP()) << "the test prefix's ANSI code page";
        ASSERT_EQ("", host.Start());
    }

    void TearDown() override { host.Stop(); }

    // Fires the rule on a fresh bench; the host's name and entry identifier buffers are
    // guarded. The name buffer holds the name and its terminating zero.
    HRESULT Fire(ExecuteBench& bench, const std::string& name, const std::string& entryId)
    {
        host.factory.object = bench.world.application.AsDispatch();
        host.provider.Reset();
        const LONG blocks = host.provider.Counters().liveRootBlocks;
        HostBytes nameBuffer(name + '\0');
        HostBytes idBuffer(entryId);
        // An identifier of 0 bytes still comes with a valid pointer.
        GuardedBuffer noBytes(0);
        LPENTRYID id = reinterpret_cast<LPENTRYID>(entryId.empty() ? noBytes.data() : idBuffer.data());
        traces.Clear();
        const HRESULT hr =
            host.action->Execute(&bench.site, nameBuffer.data(), static_cast<ULONG>(entryId.size()), id);
        taken = traces.Lines();
        host.factory.object = NULL;

        EXPECT_TRUE(nameBuffer.Unchanged()) << "the host's name is only read";
        EXPECT_TRUE(idBuffer.Unchanged() && noBytes.GuardsIntact())
            << "the host's entry identifier is only read";
        EXPECT_TRUE(bench.AllReleased());
        const TbProviderCounters counters = host.provider.Counters();
        EXPECT_EQ(blocks, counters.liveRootBlocks);
        EXPECT_EQ(0, counters.badFrees);
        EXPECT_EQ(counters.initializeCalls, counters.uninitializeCalls);
        return hr;
    }

    DllHost host;
    TraceCapture traces;
    std::vector<std::string> taken;
};
} // namespace

// Names of every length that matters to a buffer somewhere (25 typed, 29 stored, 93 fitting the
// tag text, 245 fitting Describe's text) and one side of each, bytes at or above 0x80, and
// identifiers around the 501 bytes an identifier text of 1,004 bytes holds: the rule fires, the
// message is opened with exactly the host's bytes, and the whole name is written.
TEST_F(BadInputTest, NamesAndEntryIdsOfEverySizeAreReadWholeAndNeverWritten)
{
    struct Case
    {
        std::string name;
        size_t idBytes;
    };
    std::vector<Case> cases;
    for (size_t length : {0u, 25u, 29u, 30u, 93u, 94u, 245u, 246u, 4000u})
    {
        cases.push_back(Case{std::string(length, 'n'), 7});
    }
    cases.push_back(Case{AllHighBytes(), 7});
    cases.push_back(Case{"Caf\xE9 \x80 \x9F\xFF", 7});
    for (size_t bytes : {0u, 1u, 501u, 502u, 65536u})
    {
        cases.push_back(Case{"Travel", bytes});
    }
    for (const Case& c : cases)
    {
        SCOPED_TRACE("name of " + std::to_string(c.name.size()) + " bytes (first " +
                     std::to_string(c.name.empty() ? 0 : static_cast<unsigned char>(c.name[0])) +
                     "), entry identifier of " + std::to_string(c.idBytes) + " bytes");
        ExecuteBench bench;
        std::string id;
        for (size_t i = 0; i < c.idBytes; ++i)
        {
            id += static_cast<char>(i * 7 + 1);
        }
        bench.message.entryId.assign(id.begin(), id.end());
        bench.message.storeEntryId.assign(c.idBytes, 0xA5);

        EXPECT_EQ(S_OK, Fire(bench, c.name, id));
        EXPECT_TRUE(taken.empty());
        EXPECT_EQ(1u, bench.log.Matching("store.OpenEntry(" + std::to_string(c.idBytes) + "," +
                                         HexOf(bench.message.entryId) + ",null,0x10)")
                          .size());
        EXPECT_EQ(1u, bench.log.Matching("namespace.GetItemFromID(" + HexOf(bench.message.entryId) +
                                         ",vt=8:" + HexOf(bench.message.storeEntryId) + ")")
                          .size());
        EXPECT_TRUE(Widened("TB2 : " + c.name) == bench.world.created.lastPut)
            << "the whole name, in the ANSI code page";
    }
}

// Null where the host may pass null: refused with E_INVALIDARG and the one trace, before the
// site is asked for anything.
TEST_F(BadInputTest, NullNameOrEntryIdIsRefusedBeforeTheSiteIsAsked)
{
    BYTE bytes[4] = {1, 2, 3, 4};
    const struct
    {
        const char* name;
        LPENTRYID id;
    } cases[] = {{NULL, reinterpret_cast<LPENTRYID>(bytes)}, {"Travel", NULL}, {NULL, NULL}};
    for (const auto& c : cases)
    {
        ExecuteBench bench;
        traces.Clear();
        EXPECT_EQ(E_INVALIDARG, host.action->Execute(&bench.site, c.name, sizeof(bytes), c.id));
        EXPECT_EQ(std::vector<std::string>{"Invalid Parameter passed to Command\n"}, traces.Lines());
        EXPECT_TRUE(bench.log.entries().empty());
    }
}

namespace
{
// A "Group" value of one VARIANT type, as the object model may deliver it.
struct GroupValue
{
    const char* what;
    VARTYPE type;
    bool convertible; // VariantChangeType makes text of it
    bool written;     // the text is empty (or the value none), so the new value is written
};

// Fills a VARIANT of the type with a plain value; an object value is the given one.
void Fill(VARIANT* v, VARTYPE type, IDispatch* object)
{
    VariantInit(v);
    V_VT(v) = type;
    if (type & VT_ARRAY)
    {
        SAFEARRAYBOUND bound = {2, 0};
        V_ARRAY(v) = SafeArrayCreate(type & VT_TYPEMASK, 1, &bound);
        return;
    }
    switch (type & VT_TYPEMASK)
    {
    case VT_BSTR:
        V_BSTR(v) = SysAllocString(L"Holiday");
        break;
    case VT_DISPATCH:
        V_DISPATCH(v) = object;
        if (object != NULL)
        {
            object->AddRef();
        }
        break;
    case VT_UNKNOWN:
        V_UNKNOWN(v) = object;
        if (object != NULL)
        {
            object->AddRef();
        }
        break;
    case VT_ERROR:
        V_ERROR(v) = DISP_E_PARAMNOTFOUND;
        break;
    case VT_CY:
        V_CY(v).int64 = 12345;
        break;
    case VT_DECIMAL:
    {
        DECIMAL d;
        memset(&d, 0, sizeof(d));
        d.Lo64 = 42;
        V_DECIMAL(v) = d; // sets the type too
        V_VT(v) = VT_DECIMAL;
        break;
    }
    case VT_I8:
    case VT_UI8:
        V_I8(v) = 1234567890123LL;
        break;
    case VT_R8:
    case VT_DATE:
        V_R8(v) = 45000.5;
        break;
    case VT_R4:
        V_R4(v) = 1.5f;
        break;
    case VT_BOOL:
        V_BOOL(v) = VARIANT_TRUE;
        break;
    default:
        V_I4(v) = 7;
        break;
    }
}
} // namespace

// Every type the object model can deliver for a property value. What converts to text is
// judged by the tagging rule (a number is never empty and never "TB1 :", so it stays); what
// does not convert ends the firing with the conversion's HRESULT, the item left alone.
TEST_F(BadInputTest, GroupValuesOfEveryVariantTypeEndInTheirStatedOutcome)
{
    const GroupValue values[] = {
        {"VT_EMPTY", VT_EMPTY, true, true},     {"VT_NULL", VT_NULL, false, false},
        {"VT_I2", VT_I2, true, false},          {"VT_I4", VT_I4, true, false},
        {"VT_R4", VT_R4, true, false},          {"VT_R8", VT_R8, true, false},
        {"VT_CY", VT_CY, true, false},          {"VT_DATE", VT_DATE, true, false},
        {"VT_BSTR", VT_BSTR, true, false},      {"VT_DISPATCH", VT_DISPATCH, false, false},
        {"VT_ERROR", VT_ERROR, false, false},   {"VT_BOOL", VT_BOOL, true, false},
        {"VT_UNKNOWN", VT_UNKNOWN, false, false}, {"VT_DECIMAL", VT_DECIMAL, true, false},
        {"VT_I1", VT_I1, true, false},          {"VT_UI1", VT_UI1, true, false},
        {"VT_UI2", VT_UI2, true, false},        {"VT_UI4", VT_UI4, true, false},
        {"VT_I8", VT_I8, true, false},          {"VT_UI8", VT_UI8, true, false},
        {"VT_INT", VT_INT, true, false},        {"VT_UINT", VT_UINT, true, false},
        {"VT_ARRAY|VT_VARIANT", VT_ARRAY | VT_VARIANT, false, false},
        {"VT_ARRAY|VT_BSTR", VT_ARRAY | VT_BSTR, false, false},
    };
    for (const GroupValue& value : values)
    {
        for (bool withObject : {false, true})
        {
            const VARTYPE base = value.type & VT_TYPEMASK;
            if (withObject && base != VT_DISPATCH && base != VT_UNKNOWN)
            {
                continue;
            }
            SCOPED_TRACE(std::string(value.what) + (withObject ? " holding an object" : ""));
            CallLog objectLog;
            FakeMailItem object(&objectLog, "value"); // an object without a value property
            ExecuteBench bench;
            VARIANT stored;
            Fill(&stored, value.type, withObject ? object.AsDispatch() : NULL);
            bench.world.SetStored(stored);
            VARIANT converted;
            VariantInit(&converted);
            const HRESULT conversion = VariantChangeType(&converted, &stored, 0, VT_BSTR);
            VariantClear(&converted);
            VariantClear(&stored);
            EXPECT_EQ(value.convertible, SUCCEEDED(conversion)) << std::hex << conversion;
            const std::string before = bench.GroupText();

            const HRESULT hr = Fire(bench, "Travel", "\x01\x02\x03");
            EXPECT_EQ(value.convertible ? S_OK : conversion, hr);
            EXPECT_TRUE(taken.empty());
            if (value.written)
            {
                EXPECT_EQ(L"TB2 : Travel", bench.world.property.lastPut);
                EXPECT_EQ(1u, bench.log.Matching("item.Save").size());
            }
            else
            {
                EXPECT_EQ(before, bench.GroupText()) << "the item is left alone";
                EXPECT_TRUE(bench.log.Matching("property.put_Value").empty());
                EXPECT_TRUE(bench.log.Matching("item.Save").empty());
            }
            VariantClear(&bench.world.property.value);
            EXPECT_EQ(1, object.refs()) << "every copy of the value was cleared";
        }
    }
}
