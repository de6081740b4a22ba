#pragma once

#include "MemoryRegistryBackend.h"
#include "ScriptedPrompter.h"
#include "TestEnvironment.h"

// What every window test stands on: private folders, a settings store in
// memory and a scripted prompter, each installed while the fixture lives.
// Members go in reverse order, the prompter first.
struct WindowTestFixture {
    TestEnvironment env;
    MemoryRegistryBackend store;
    ScopedRegistryBackend installedStore{store};
    ScriptedPrompter prompter;
    ScopedPrompter installedPrompter{prompter};
};
