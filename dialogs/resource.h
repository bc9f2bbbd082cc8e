// Resource numbers of TB_RULE.dll.
#pragma once
