// Building blocks of counting fakes: a shared, ordered log of calls and a reference count that
// writes AddRef/Release into it. A fake starts with one reference, the one handed out.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

class CallLog
{
public:
    void Add(const std::string& entry) { m_entries.push_back(entry); }
    const std::vector<std::string>& entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }

    // Entries that start with the prefix, in order.
    std::vector<std::string> Matching(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (size_t i = 0; i < m_entries.size(); ++i)
        {
            if (m_entries[i].compare(0, prefix.size(), prefix) == 0)
            {
                out.push_back(m_entries[i]);
            }
        }
        return out;
    }

private:
    std::vector<std::string> m_entries;
};

class RefCounter
{
public:
    RefCounter(CallLog* log, const std::string& name) : m_log(log), m_name(name), m_refs(1) {}

    ULONG AddRef()
    {
        if (m_log != NULL)
        {
            m_log->Add(m_name + ".AddRef");
        }
        return static_cast<ULONG>(++m_refs);
    }

    ULONG Release()
    {
        if (m_log != NULL)
        {
            m_log->Add(m_name + ".Release");
        }
        return static_cast<ULONG>(--m_refs);
    }

    // References still held by others than the test itself (which keeps the first).
    LONG refs() const { return m_refs; }
    const std::string& name() const { return m_name; }

private:
    CallLog* m_log;
    std::string m_name;
    LONG m_refs;
};
