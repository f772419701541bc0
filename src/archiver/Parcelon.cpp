// CParcelon's own members: construction, copy, move, the callback and the
// stop flag. The operations live in src/create and src/extract.
#include "Parcelon.h"
#include "archiver/ObjectAccess.h"

#include <utility>

CParcelon::CParcelon()
    : m_bStop(false), m_pCallbacker(nullptr), m_nTotalSize(0), m_nDoneSize(0), m_nLastPercent(0) {}

CParcelon::CParcelon(const CParcelon& other)
    : m_bStop(other.m_bStop.load(std::memory_order_relaxed)),
      m_pCallbacker(other.m_pCallbacker),
      m_nTotalSize(other.m_nTotalSize),
      m_nDoneSize(other.m_nDoneSize),
      m_nLastPercent(other.m_nLastPercent),
      m_strBaseDir(other.m_strBaseDir) {}

// The source keeps everything but its base directory, which moves over.
CParcelon::CParcelon(CParcelon&& other)
    : m_bStop(other.m_bStop.load(std::memory_order_relaxed)),
      m_pCallbacker(other.m_pCallbacker),
      m_nTotalSize(other.m_nTotalSize),
      m_nDoneSize(other.m_nDoneSize),
      m_nLastPercent(other.m_nLastPercent),
      m_strBaseDir(std::move(other.m_strBaseDir)) {
    other.m_strBaseDir.clear();
}

CParcelon::~CParcelon() = default;

CParcelon& CParcelon::operator=(const CParcelon& other) {
    if (this == &other) return *this;
    parcelon::ObjectAccess::CopyState(*this, other);
    m_strBaseDir = other.m_strBaseDir;
    return *this;
}

CParcelon& CParcelon::operator=(CParcelon&& other) {
    if (this == &other) return *this;
    parcelon::ObjectAccess::CopyState(*this, other);
    m_strBaseDir = std::move(other.m_strBaseDir);
    other.m_strBaseDir.clear();
    return *this;
}

void CParcelon::SetCallbacker(TZipProgressCallback* pCallbacker) { m_pCallbacker = pCallbacker; }

void CParcelon::Stop() { m_bStop.store(true, std::memory_order_relaxed); }
