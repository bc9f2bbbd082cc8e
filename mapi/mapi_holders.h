// Holders for memory that MAPI hands out.
#pragma once

#include "mapi/mapi_defs.h"

// A block from MAPIAllocateBuffer (such as a property value from HrGetOneProp), given back
// with MAPIFreeBuffer.
template <class T> class MapiBuffer
{
public:
    MapiBuffer() : m_p(NULL) {}
    ~MapiBuffer() { Reset(); }

    T* get() const { return m_p; }
    T** put()
    {
        Reset();
        return &m_p;
    }
    void Reset()
    {
        if (m_p != NULL)
        {
            T* p = m_p;
            m_p = NULL;
            MAPIFreeBuffer(p);
        }
    }

private:
    MapiBuffer(const MapiBuffer&);
    MapiBuffer& operator=(const MapiBuffer&);

    T* m_p;
};

// A row set from HrQueryAllRows, given back with FreeProws (which frees each row too).
class RowSet
{
public:
    RowSet() : m_p(NULL) {}
    ~RowSet() { Reset(); }

    SRowSet* get() const { return m_p; }
    SRowSet** put()
    {
        Reset();
        return &m_p;
    }
    void Reset()
    {
        if (m_p != NULL)
        {
            SRowSet* p = m_p;
            m_p = NULL;
            FreeProws(p);
        }
    }

private:
    RowSet(const RowSet&);
    RowSet& operator=(const RowSet&);

    SRowSet* m_p;
};
