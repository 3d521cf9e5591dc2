// The host's records as VirtualDub lays them out for its filter modules, declared from the
// host's binary interface. Only the fields the filter reads or writes are named; the rest are
// padding of the right size. In the 32-bit Windows builds the layout is checked field by field.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VELMO_CDECL __cdecl
#else
#define VELMO_CDECL
#endif

// Everything the host calls into: entered with a stack that is only 4-byte aligned on 32-bit x86,
// so it is realigned on entry before any SSE spill (the Windows builds also compile everything
// with -mstackrealign).
#if defined(__i386__) && defined(__GNUC__)
#define VELMO_HOST_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VELMO_HOST_ENTRY
#endif

namespace velmo {
namespace host {

struct HostFilterContext;
struct HostFunctionTable;
struct FilterDescriptor;

// The host's view of a frame. Frames are stored bottom-up: memory row 0 is the bottom row of the
// picture.
struct Bitmap {
    void* reserved;
    uint32_t* data;  // start of memory row 0
    void* palette;
    int32_t depth;
    int32_t w;
    int32_t h;
    int32_t pitch;  // bytes from one memory row to the next
    int32_t modulo;
    int32_t size;
    int32_t offset;
};

struct HostFrameState {
    int32_t outputFrame;
    int32_t microsecsPerFrame;
    int32_t sourceFrame;
};

struct HostModule {
    void* next;
    void* prev;
    void* instanceHandle;  // HINSTANCE of the loaded module: finds its dialog template
};

struct HostFilterContext {
    FilterDescriptor* descriptor;  // the host's own copy of the descriptor
    void* instance;                // DeinterlaceInstance, instance-size bytes, host-allocated
    Bitmap* dst;
    Bitmap* src;
    void* reserved;
    Bitmap* last;
    int32_t clip[4];
    HostFrameState* frameState;
};

using RegisterFilterFn = FilterDescriptor* (VELMO_CDECL*)(HostModule* module, const FilterDescriptor* desc,
                                                          int32_t size);
using UnregisterFilterFn = void (VELMO_CDECL*)(FilterDescriptor* handle);

struct HostFunctionTable {
    RegisterFilterFn RegisterFilter;
    UnregisterFilterFn UnregisterFilter;
};

// Script values: a type tag, a host link, and an 8-byte value (the integer is its first word).
struct ScriptValue {
    int32_t type;  // 1: integer
    void* link;
    union {
        int32_t i;
        int64_t pad;
    } value;
};

struct ScriptCommand;
using ScriptHandlerFn = void (VELMO_CDECL*)(void* interpreter, HostFilterContext* ctx, ScriptValue* args,
                                           int32_t count);

struct ScriptCommand {
    ScriptHandlerFn handler;
    const char* name;
    const char* signature;
};

struct ScriptBinding {
    void* reserved0;
    const ScriptCommand* commands;
    void* reserved1;
};

using InstanceFn = int (VELMO_CDECL*)(HostFilterContext* ctx, const HostFunctionTable* ft);
using ConfigureFn = int (VELMO_CDECL*)(HostFilterContext* ctx, const HostFunctionTable* ft, void* parent);
using FormatScriptFn = bool (VELMO_CDECL*)(HostFilterContext* ctx, void* interpreter, char* buf, int32_t size);

// The filter's definition as the module hands it to RegisterFilter: 18 fields.
struct FilterDescriptor {
    void* hostLink0;
    void* hostLink1;
    HostModule* module;
    const char* name;
    const char* description;
    const char* maker;
    void* hostDefined;
    int32_t instanceSize;
    InstanceFn initSettings;
    void* slot10;
    InstanceFn runFrame;
    void* slot12;
    ConfigureFn configure;
    void* slot14;
    InstanceFn startBuffers;
    InstanceFn endBuffers;
    const ScriptBinding* script;
    FormatScriptFn formatScript;
};

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit layout the host uses, field by field.
static_assert(sizeof(void*) == 4 && sizeof(int) == 4, "32-bit host");
static_assert(sizeof(Bitmap) == 40 && offsetof(Bitmap, data) == 4 && offsetof(Bitmap, palette) == 8 &&
                  offsetof(Bitmap, depth) == 12 && offsetof(Bitmap, w) == 16 && offsetof(Bitmap, h) == 20 &&
                  offsetof(Bitmap, pitch) == 24 && offsetof(Bitmap, modulo) == 28 &&
                  offsetof(Bitmap, size) == 32 && offsetof(Bitmap, offset) == 36,
              "host bitmap layout");
static_assert(offsetof(HostFrameState, outputFrame) == 0 && offsetof(HostFrameState, microsecsPerFrame) == 4 &&
                  offsetof(HostFrameState, sourceFrame) == 8,
              "frame state layout");
static_assert(offsetof(HostModule, instanceHandle) == 8, "module record layout");
static_assert(offsetof(HostFilterContext, descriptor) == 0 && offsetof(HostFilterContext, instance) == 4 &&
                  offsetof(HostFilterContext, dst) == 8 && offsetof(HostFilterContext, src) == 12 &&
                  offsetof(HostFilterContext, reserved) == 16 && offsetof(HostFilterContext, last) == 20 &&
                  offsetof(HostFilterContext, clip) == 24 && sizeof(HostFilterContext::clip) == 16 &&
                  offsetof(HostFilterContext, frameState) == 40,
              "filter context layout");
static_assert(sizeof(HostFunctionTable) == 8 && offsetof(HostFunctionTable, UnregisterFilter) == 4,
              "function table entries used");
static_assert(sizeof(ScriptValue) == 16 && offsetof(ScriptValue, type) == 0 && offsetof(ScriptValue, link) == 4 &&
                  offsetof(ScriptValue, value) == 8 && alignof(ScriptValue) == 8,
              "script value layout");
static_assert(sizeof(ScriptCommand) == 12 && offsetof(ScriptCommand, name) == 4 &&
                  offsetof(ScriptCommand, signature) == 8,
              "script command entry");
static_assert(sizeof(ScriptBinding) == 12 && offsetof(ScriptBinding, commands) == 4, "script binding");
static_assert(sizeof(FilterDescriptor) == 72 && offsetof(FilterDescriptor, hostLink1) == 4 &&
                  offsetof(FilterDescriptor, module) == 8 && offsetof(FilterDescriptor, name) == 12 &&
                  offsetof(FilterDescriptor, description) == 16 && offsetof(FilterDescriptor, maker) == 20 &&
                  offsetof(FilterDescriptor, hostDefined) == 24 && offsetof(FilterDescriptor, instanceSize) == 28 &&
                  offsetof(FilterDescriptor, initSettings) == 32 && offsetof(FilterDescriptor, slot10) == 36 &&
                  offsetof(FilterDescriptor, runFrame) == 40 && offsetof(FilterDescriptor, slot12) == 44 &&
                  offsetof(FilterDescriptor, configure) == 48 && offsetof(FilterDescriptor, slot14) == 52 &&
                  offsetof(FilterDescriptor, startBuffers) == 56 && offsetof(FilterDescriptor, endBuffers) == 60 &&
                  offsetof(FilterDescriptor, script) == 64 && offsetof(FilterDescriptor, formatScript) == 68,
              "filter descriptor layout");
#endif

}  // namespace host
}  // namespace velmo
