// How the library's own code reaches a CParcelon's members: the operations
// work on them by reference (PackingState), and this is the one place that
// hands them out.
#ifndef PARCELON_OBJECT_ACCESS_H
#define PARCELON_OBJECT_ACCESS_H

#include "Parcelon.h"
#include "create/PackingState.h"

namespace parcelon {

struct ObjectAccess {
    // What a copy takes from its source besides the base folder: the stop
    // flag, the callback, the counters and the last percentage.
    static void CopyState(CParcelon& to, const CParcelon& from) {
        to.m_bStop.store(from.m_bStop.load(std::memory_order_relaxed), std::memory_order_relaxed);
        to.m_pCallbacker = from.m_pCallbacker;
        to.m_nTotalSize = from.m_nTotalSize;
        to.m_nDoneSize = from.m_nDoneSize;
        to.m_nLastPercent = from.m_nLastPercent;
    }

    static PackingState Packing(CParcelon& object) {
        return PackingState{object.m_bStop,     object.m_pCallbacker,  object.m_nTotalSize,
                            object.m_nDoneSize, object.m_nLastPercent, object.m_strBaseDir};
    }
};

} // namespace parcelon

#endif // PARCELON_OBJECT_ACCESS_H
