// How the library's own code reaches a CParcelon's members: the operations
// work on them by reference (PackingState), and this is the one place that
// hands them out.
#ifndef PARCELON_OBJECT_ACCESS_H
#define PARCELON_OBJECT_ACCESS_H

#include "Parcelon.h"
#include "create/PackingState.h"

namespace parcelon {

struct ObjectAccess {
    static PackingState Packing(CParcelon& object) {
        return PackingState{object.m_bStop,     object.m_pCallbacker,  object.m_nTotalSize,
                            object.m_nDoneSize, object.m_nLastPercent, object.m_strBaseDir};
    }
};

} // namespace parcelon

#endif // PARCELON_OBJECT_ACCESS_H
