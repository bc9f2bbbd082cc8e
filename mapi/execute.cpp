#include "extension/rule_action.h"

HRESULT STDMETHODCALLTYPE CRuleAction::Execute(IRuleActionSite* /*site*/, LPCSTR /*data*/,
                                               ULONG /*entryIdSize*/, LPENTRYID /*entryId*/)
{
    return E_NOTIMPL;
}
