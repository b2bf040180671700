// The one export of the Vamp library: a descriptor per adapted plug-in, each built once by the
// SDK's adapter on first request and kept until the library is unloaded.
#include <vamp-sdk/PluginAdapter.h>
#include <vamp/vamp.h>

#include "vamp/chroma_plugin.h"
#include "vamp/dynamics_plugin.h"
#include "vamp/key_chords_plugin.h"
#include "vamp/rhythm_plugin.h"

extern "C" __attribute__((visibility("default"))) const VampPluginDescriptor* vampGetPluginDescriptor(
    unsigned int hostApiVersion, unsigned int index) {
    if (hostApiVersion < 1) return nullptr;
    static Vamp::PluginAdapter<zqx::vamp::ChromaPlugin> chroma;
    static Vamp::PluginAdapter<zqx::vamp::RhythmPlugin> rhythm;
    static Vamp::PluginAdapter<zqx::vamp::DynamicsPlugin> dynamics;
    static Vamp::PluginAdapter<zqx::vamp::KeyChordsPlugin> keyChords;
    switch (index) {
    case 0: return chroma.getDescriptor();
    case 1: return rhythm.getDescriptor();
    case 2: return dynamics.getDescriptor();
    case 3: return keyChords.getDescriptor();
    default: return nullptr;
    }
}
