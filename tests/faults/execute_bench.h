// What a rule firing meets, for tests that call Execute through TB_RULE.dll as the host does:
// counting fakes of the host's site, the MAPI session, its store table, the default store and
// the message, wired together, and the object model behind "Outlook.Application". A fresh
// bench per call keeps every count its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/automation_registration.h"
#include "support/mapi_provider_client.h"
#include "support/mapi_scripted_fakes.h"
#include "support/om_fakes.h"
#include "support/rule_module.h"

struct ExecuteBench
{
    ExecuteBench()
        : site(&log), session(&log), table(&log), store(&log), message(&log), world(&log)
    {
        site.session = &session;
        session.table = &table;
        session.store = &store;
        table.AddStore(std::vector<BYTE>{0x11, 0x22}, false);
        table.AddStore(DefaultStoreId(), true);
        store.message = &message;
        message.entryId = MessageId();
        message.storeEntryId = DefaultStoreId();
    }

    static std::vector<BYTE> DefaultStoreId() { return std::vector<BYTE>{0xDE, 0xFA, 0x01, 0x7F}; }
    static std::vector<BYTE> MessageId() { return std::vector<BYTE>{0, 0, 0, 0, 0x4D, 0x53, 0x47}; }

    // Every reference handed to the module came back.
    bool AllReleased() const
    {
        return site.counter.refs() == 1 && session.counter.refs() == 1 &&
               table.counter.refs() == 1 && store.counter.refs() == 1 &&
               message.counter.refs() == 1 && world.AllReleased();
    }

    // The "Group" property as the item holds it now, or NULL when it has none.
    const VARIANT* Group() const
    {
        if (world.properties.existing == static_cast<const UserProperty*>(&world.property))
        {
            return &world.property.value;
        }
        if (world.properties.existing == static_cast<const UserProperty*>(&world.created))
        {
            return &world.created.value;
        }
        return NULL;
    }

    // The "Group" value as text ("(none)" without the property), for comparing states.
    std::string GroupText() const
    {
        const VARIANT* value = Group();
        return value == NULL ? std::string("(none)") : DescribeVariant(*value);
    }

    CallLog log;
    FakeSite site;
    ScriptedSession session;
    FakeStoreTable table;
    ScriptedStore store;
    ScriptedMessage message;
    OmWorld world;
};

// The host's side of a firing: COM initialised on the thread, "Outlook.Application" answered by
// a class object of this process, TB_RULE.dll loaded and its rule-action object obtained.
class DllHost
{
public:
    DllHost() : factory(&factoryLog), action(NULL), m_comInitialized(false) {}
    ~DllHost() { Stop(); }

    // Empty when all went well, else what did not.
    std::string Start()
    {
        m_comInitialized = CoInitialize(NULL) == S_OK;
        if (!m_comInitialized)
        {
            return "CoInitialize";
        }
        registration.reset(new AutomationRegistration(&factory));
        if (!registration->ok())
        {
            return "registering the automation server";
        }
        if (!provider.ok())
        {
            return "the prefix's MAPI provider";
        }
        module.reset(new RuleModule());
        if (module->handle() == NULL)
        {
            return "loading TB_RULE.dll";
        }
        action = module->CreateAction();
        return action == NULL ? "ExchEntryPoint" : "";
    }

    // Releases the object; the caller unloads the module after anything patched in it.
    void ReleaseAction()
    {
        if (action != NULL)
        {
            action->Release();
            action = NULL;
        }
    }

    void Stop()
    {
        ReleaseAction();
        module.reset();
        registration.reset();
        if (m_comInitialized)
        {
            m_comInitialized = false;
            CoUninitialize();
        }
    }

    CallLog factoryLog;
    FakeClassFactory factory;
    MapiProvider provider;
    std::unique_ptr<AutomationRegistration> registration;
    std::unique_ptr<RuleModule> module;
    IRuleAction* action;

private:
    DllHost(const DllHost&);
    DllHost& operator=(const DllHost&);

    bool m_comInitialized;
};
