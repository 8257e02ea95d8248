#include "task/CancelToken.h"

namespace {
thread_local const CancelToken *t_current = nullptr;
} // namespace

CancelToken CancelToken::current()
{
    return t_current ? *t_current : CancelToken();
}

bool CancelToken::currentCancelled()
{
    return t_current && t_current->isCancelled();
}

CancelScope::CancelScope(const CancelToken &token) : m_token(token), m_previous(t_current)
{
    t_current = &m_token;
}

CancelScope::~CancelScope()
{
    t_current = m_previous;
}
