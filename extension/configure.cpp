#include "extension/rule_action.h"

HRESULT STDMETHODCALLTYPE CRuleAction::Configure(IRuleActionSite* /*site*/, LPSTR /*nameBuffer*/,
                                                 LONG /*nameCapacity*/, LPSTR /*displayBuffer*/,
                                                 LONG /*displayCapacity*/)
{
    return E_NOTIMPL;
}
