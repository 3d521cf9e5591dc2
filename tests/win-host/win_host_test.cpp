// A small host for the real filter module: loads it, registers its filter, reads the
// descriptor, runs the script function and the script line, and drives frames through the
// descriptor's callbacks the way VirtualDub does. The host's records are declared here on their
// own, from the host's binary interface, so that a slip in the module's declarations shows.
//
// Usage: velmo_test_win_host [gtest options] path/to/velmo-pN.vdf
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/main.h"
#include "frame_cases.h"

static_assert(sizeof(void*) == 4, "the test host is a 32-bit program");

// Calls the cdecl function fn with `count` 32-bit arguments, entering it with esp % 16 equal to
// `misalign` (the host promises no more than 4-byte alignment). Sets *preserved to 1 when ebx,
// esi, edi and ebp came back unchanged and the direction flag is clear. Returns eax.
extern "C" uint32_t VelmoCallCdecl(const void* fn, const uint32_t* args, int32_t count, int32_t misalign,
                                   int32_t* preserved);
asm(R"(
    .text
    .globl _VelmoCallCdecl
    .def _VelmoCallCdecl; .scl 2; .type 32; .endef
_VelmoCallCdecl:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx
    movl 20(%ebp), %eax
    leal 4(%eax,%ecx,4), %eax
    negl %eax
    andl $15, %eax
    andl $-16, %esp
    subl %eax, %esp
    movl 12(%ebp), %edx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  movl 8(%ebp), %eax
    movl $0x0B1B2B3B, %ebx
    movl $0x05152535, %esi
    movl $0x0D1D2D3D, %edi
    call *%eax
    xorl %ecx, %ecx
    cmpl $0x0B1B2B3B, %ebx
    jne 3f
    cmpl $0x05152535, %esi
    jne 3f
    cmpl $0x0D1D2D3D, %edi
    jne 3f
    pushfl
    popl %edx
    testl $0x400, %edx
    jnz 3f
    movl $1, %ecx
3:  movl 24(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace {

// ---- The host's records -------------------------------------------------------------------

struct VdBitmap {
    void* reserved;
    void* data;  // memory row 0: the bottom row of the picture
    void* palette;
    int32_t depth, w, h, pitch, modulo, size, offset;
};
static_assert(sizeof(VdBitmap) == 40, "bitmap");

struct VdFrameState {
    int32_t outputFrame, microsecsPerFrame, sourceFrame;
    int32_t more[6];
};

struct VdModule {
    void* next;
    void* prev;
    HMODULE instance;
};

struct VdDescriptor {
    void* hostLinks[2];
    VdModule* module;
    const char* name;
    const char* description;
    const char* maker;
    void* hostDefined;
    int32_t instanceSize;
    void* slots[10];  // +32 ... +68
};
static_assert(sizeof(VdDescriptor) == 72, "descriptor");
enum Slot { kInit = 0, kRun = 2, kConfigure = 4, kStart = 6, kEnd = 7, kScript = 8, kFormat = 9 };

struct VdContext {
    const VdDescriptor* descriptor;
    void* instance;
    VdBitmap* dst;
    VdBitmap* src;
    void* reserved;
    VdBitmap* last;
    int32_t clip[4];
    VdFrameState* state;
    void* more[8];
};
static_assert(offsetof(VdContext, state) == 40, "context");

struct VdScriptValue {
    int32_t type;  // 1: integer
    void* link;
    int32_t value;
    int32_t high;
};
static_assert(sizeof(VdScriptValue) == 16, "script value");

struct VdCommand {
    void* handler;
    const char* name;
    const char* signature;
};
struct VdBinding {
    void* zero0;
    const VdCommand* commands;
    void* zero1;
};

typedef void* (__cdecl* RegisterFilterFn)(VdModule*, const VdDescriptor*, int32_t);
typedef void(__cdecl* UnregisterFilterFn)(void*);
struct VdFunctionTable {
    RegisterFilterFn registerFilter;
    UnregisterFilterFn unregisterFilter;
    void* more[16];
};

// ---- The host ------------------------------------------------------------------------------

HMODULE gModule = nullptr;
void* gInit2 = nullptr;
void* gDeinit = nullptr;

struct RegistrationLog {
    int registers = 0, unregisters = 0;
    VdModule* module = nullptr;
    const VdDescriptor* original = nullptr;
    int32_t size = -1;
    void* unregistered = reinterpret_cast<void*>(1);
    bool refuse = false;
};
RegistrationLog gLog;
VdModule gModuleRecord;
VdDescriptor gHostCopy;  // the host's own copy of the descriptor: the registration handle

void* __cdecl HostRegisterFilter(VdModule* module, const VdDescriptor* d, int32_t size) {
    ++gLog.registers;
    gLog.module = module;
    gLog.original = d;
    gLog.size = size;
    if (gLog.refuse) return nullptr;
    std::memcpy(&gHostCopy, d, sizeof gHostCopy);
    gHostCopy.module = module;
    return &gHostCopy;
}

void __cdecl HostUnregisterFilter(void* handle) {
    ++gLog.unregisters;
    gLog.unregistered = handle;
}

VdFunctionTable gTable = {HostRegisterFilter, HostUnregisterFilter, {}};

uint16_t FpuTagWord() {
    uint8_t env[28];
    asm volatile("fnstenv %0" : "=m"(env));
    asm volatile("fldenv %0" : : "m"(env));
    uint16_t tag;
    std::memcpy(&tag, env + 8, 2);
    return tag;
}

int gMisalign = 0;  // rotated over 0, 4, 8, 12 from call to call

// Calls into the module the way the host does, and checks what the host relies on afterwards.
uint32_t Call(const void* fn, std::vector<uint32_t> args) {
    int32_t preserved = 0;
    const int misalign = gMisalign;
    gMisalign = (gMisalign + 4) & 15;
    const uint32_t r = VelmoCallCdecl(fn, args.data(), static_cast<int32_t>(args.size()), misalign, &preserved);
    EXPECT_EQ(preserved, 1) << "ebx, esi, edi, ebp or the direction flag not kept (entered at esp % 16 = "
                            << misalign << ")";
    EXPECT_EQ(FpuTagWord(), 0xFFFF) << "x87/MMX registers left in use";
    return r;
}
uint32_t U(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

int Init2(VdModule* module, VdFunctionTable* table, int* version, int* compatible) {
    return static_cast<int>(Call(gInit2, {U(module), U(table), U(version), U(compatible)}));
}
void Deinit(VdModule* module, VdFunctionTable* table) { Call(gDeinit, {U(module), U(table)}); }

bool InsideModule(const void* p) {
    const uint8_t* base = reinterpret_cast<const uint8_t*>(gModule);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const uint8_t* q = static_cast<const uint8_t*>(p);
    return q >= base && q < base + nt->OptionalHeader.SizeOfImage;
}

// A registration for the tests that need the filter.
class Registered : public ::testing::Test {
protected:
    void SetUp() override {
        gLog = RegistrationLog();
        gModuleRecord.next = gModuleRecord.prev = nullptr;
        gModuleRecord.instance = gModule;
        int version = 0, compatible = 0;
        ASSERT_EQ(Init2(&gModuleRecord, &gTable, &version, &compatible), 0);
        d = &gHostCopy;
    }
    void TearDown() override {
        Deinit(&gModuleRecord, &gTable);
        EXPECT_EQ(gLog.unregistered, &gHostCopy);
    }
    const VdDescriptor* d = nullptr;
};

// One filter instance as the host keeps it.
struct Instance {
    std::vector<uint8_t> record;
    VdBitmap src, dst;
    VdFrameState state;
    VdContext ctx;

    Instance(const VdDescriptor* d, uint8_t fill = 0xCD) : record(d->instanceSize, fill) {
        std::memset(&ctx, 0xCD, sizeof ctx);
        std::memset(&src, 0xCD, sizeof src);
        std::memset(&dst, 0xCD, sizeof dst);
        std::memset(&state, 0xCD, sizeof state);
        ctx.descriptor = d;
        ctx.instance = record.data();
        ctx.src = &src;
        ctx.dst = &dst;
        ctx.state = &state;
    }
    const VdDescriptor* d() const { return ctx.descriptor; }
    int32_t Field(size_t offset) const {
        int32_t v;
        std::memcpy(&v, record.data() + offset, 4);
        return v;
    }
    void SetField(size_t offset, int32_t v) { std::memcpy(record.data() + offset, &v, 4); }
    uint32_t Callback(Slot s) { return Call(d()->slots[s], {U(&ctx), U(&gTable)}); }
    void Config(const VdScriptValue* args, int32_t count) {
        const VdBinding* b = static_cast<const VdBinding*>(d()->slots[kScript]);
        Call(b->commands[0].handler, {0x12345678u, U(&ctx), U(args), static_cast<uint32_t>(count)});
    }
    void Config(const std::vector<int32_t>& values) {
        std::vector<VdScriptValue> args(values.size());
        for (size_t k = 0; k < values.size(); ++k) args[k] = {1, reinterpret_cast<void*>(0xBADF00D), values[k], -1};
        Config(args.data(), static_cast<int32_t>(args.size()));
    }
    // FormatScript: the C++ bool comes back in al.
    bool Format(char* buf, int32_t size) {
        return (Call(d()->slots[kFormat], {U(&ctx), 0x12345678u, U(buf), static_cast<uint32_t>(size)}) & 0xFF) != 0;
    }
    std::string Line() {
        char buf[200];
        EXPECT_TRUE(Format(buf, 163));
        return buf;
    }
};

// Offsets of the settings in the 64-byte record, in the record's own order.
enum : size_t {
    oShowMotionOnly = 16, oBlendMotion = 20, oMotionThreshold = 24, oSceneThreshold = 28, oPhaseShift = 32,
    oSwapBefore = 36, oSwapAfter = 40, oDenoiseMotion = 44, oDiffMode = 48, oCompareColor = 52,
    oMotionDisabled = 56, oCubic = 60
};
// ... and in the order of Config's arguments.
const size_t kArgOffsets[12] = {oShowMotionOnly, oBlendMotion, oMotionThreshold, oSceneThreshold,
                                oPhaseShift,     oSwapBefore,  oSwapAfter,       oMotionDisabled,
                                oDenoiseMotion,  oDiffMode,    oCompareColor,    oCubic};

// ---- The module file -----------------------------------------------------------------------

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(ModuleImage, ImportsOnlySystemLibraries) {
    const uint8_t* base = reinterpret_cast<const uint8_t*>(gModule);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    ASSERT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    ASSERT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const char* allowed[] = {"kernel32.dll", "user32.dll", "shell32.dll", "msvcrt.dll",
                             "gdi32.dll",    "advapi32.dll", "comctl32.dll", "ntdll.dll"};
    std::vector<std::string> names;
    for (const IMAGE_IMPORT_DESCRIPTOR* imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        const std::string name = Lower(reinterpret_cast<const char*>(base + imp->Name));
        names.push_back(name);
        bool ok = false;
        for (const char* a : allowed) ok = ok || name == a;
        EXPECT_TRUE(ok) << "the module needs " << name << ", which is not part of Windows";
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "kernel32.dll"), names.end());
    EXPECT_EQ(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress, 0u);
}

TEST(ModuleImage, ExportsTheTwoEntryPointsByTheirPlainNames) {
    const uint8_t* base = reinterpret_cast<const uint8_t*>(gModule);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const IMAGE_EXPORT_DIRECTORY* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_EQ(exp->NumberOfFunctions, 2u);
    ASSERT_EQ(exp->NumberOfNames, 2u);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    std::vector<std::string> got;
    for (DWORD i = 0; i < exp->NumberOfNames; ++i) got.push_back(reinterpret_cast<const char*>(base + names[i]));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"VirtualdubFilterModuleDeinit", "VirtualdubFilterModuleInit2"}));
}

// ---- Registration --------------------------------------------------------------------------

TEST(ModuleRegistration, RefusedThenAccepted) {
    VdModule module = {nullptr, nullptr, gModule};
    struct Case {
        const char* what;
        bool refuse;
        bool sameSlot;  // both version slots at one address
        int result, version, compatible;
    };
    const Case cases[] = {
        {"refused", true, false, 1, 0x5A5A, 0x5A5A},
        {"accepted", false, false, 0, 7, 4},
        {"accepted, 7 written before 4", false, true, 0, 4, 4},
    };
    for (const Case& c : cases) {
        gLog = RegistrationLog();
        gLog.refuse = c.refuse;
        int version = 0x5A5A, compatible = 0x5A5A;
        const int r = Init2(&module, &gTable, &version, c.sameSlot ? &version : &compatible);
        if (c.sameSlot) compatible = version;
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_EQ(compatible, c.compatible) << c.what;
        EXPECT_EQ(gLog.registers, 1) << c.what;
        EXPECT_EQ(gLog.module, &module) << c.what << ": the module value is passed on";
        EXPECT_EQ(gLog.size, 72) << c.what;
        EXPECT_TRUE(InsideModule(gLog.original)) << c.what << ": the descriptor is the module's own static record";

        Deinit(&module, &gTable);
        EXPECT_EQ(gLog.unregisters, 1) << c.what;
        EXPECT_EQ(gLog.unregistered, c.refuse ? nullptr : static_cast<void*>(&gHostCopy))
            << c.what << ": UnregisterFilter gets exactly what RegisterFilter returned";
    }
}

// ---- The descriptor ------------------------------------------------------------------------

#if defined(VELMO_CPU_P2)
const char* const kName = "Velmo Deinterlace (PII Optimized)";
const char* const kPhrase = "MMX optimized.";
#elif defined(VELMO_CPU_P3)
const char* const kName = "Velmo Deinterlace (PIII Optimized)";
const char* const kPhrase = "SSE optimized.";
#else
const char* const kName = "Velmo Deinterlace (PIV Optimized)";
const char* const kPhrase = "SSE optimized.";
#endif

TEST_F(Registered, DescriptorAsTheHostReadsIt) {
    const VdDescriptor* original = gLog.original;
    EXPECT_EQ(original->hostLinks[0], nullptr);
    EXPECT_EQ(original->hostLinks[1], nullptr);
    EXPECT_EQ(original->module, nullptr);
    EXPECT_EQ(d->module->instance, gModule);

    EXPECT_STREQ(d->name, kName);
    EXPECT_EQ(std::string(d->description), std::string("Performs deinterlacing only in moving picture areas. "
                                                       "Based on Tamber's idea. ") +
                                               kPhrase + " v" VELMO_VERSION_TEXT);
    ASSERT_NE(d->maker, nullptr);
    EXPECT_GT(std::strlen(d->maker), 0u);
    EXPECT_EQ(d->hostDefined, nullptr);
    EXPECT_EQ(d->instanceSize, 64);
    for (int s : {1, 3, 5}) EXPECT_EQ(d->slots[s], nullptr) << "slot at +" << 32 + 4 * s << " must stay empty";
    for (int s : {kInit, kRun, kConfigure, kStart, kEnd, kScript, kFormat})
        EXPECT_TRUE(InsideModule(d->slots[s])) << "slot at +" << 32 + 4 * s;

    const VdBinding* b = static_cast<const VdBinding*>(d->slots[kScript]);
    EXPECT_EQ(b->zero0, nullptr);
    EXPECT_EQ(b->zero1, nullptr);
    ASSERT_NE(b->commands, nullptr);
    EXPECT_TRUE(InsideModule(b->commands[0].handler));
    EXPECT_STREQ(b->commands[0].name, "Config");
    EXPECT_STREQ(b->commands[0].signature, "0iiiiiiiiiiii");
    EXPECT_EQ(b->commands[1].handler, nullptr);
    EXPECT_EQ(b->commands[1].name, nullptr);
    EXPECT_EQ(b->commands[1].signature, nullptr);
}

// ---- The script ----------------------------------------------------------------------------

TEST_F(Registered, ConfigAndTheScriptLine) {
    Instance fresh(d, 0);  // a zero-filled record gives the default line
    EXPECT_EQ(fresh.Callback(kInit), 0u);
    EXPECT_EQ(fresh.Line(), "Config(0, 0, 15, 100, 0, 0, 0, 0, 0, 0, 1, 0)");

    Instance in(d);  // a record of the allocator's junk
    EXPECT_EQ(in.Callback(kInit), 0u);
    for (size_t o = 0; o < 16; o += 4) EXPECT_EQ(in.Field(o), 0) << "buffer pointer at +" << o;
    in.Config({5, -1, -3, 100, 0, 0, 0, 1, 0, 7, 1, 0});
    const int32_t stored[12] = {1, 1, -3, 100, 0, 0, 0, 1, 0, 7, 1, 0};  // argument order
    for (int k = 0; k < 12; ++k) EXPECT_EQ(in.Field(kArgOffsets[k]), stored[k]) << "argument " << k + 1;
    EXPECT_EQ(in.Field(oMotionDisabled), 1);
    EXPECT_EQ(in.Field(oDenoiseMotion), 0);
    EXPECT_EQ(in.Line(), "Config(1, 1, -3, 100, 0, 0, 0, 1, 0, 7, 1, 0)");

    // Buffers of every interesting size, guarded on both sides.
    Instance longest(d);
    longest.Callback(kInit);
    for (size_t o = 16; o < 64; o += 4) longest.SetField(o, INT_MIN);
    struct Case {
        Instance* in;
        size_t length;
        int32_t size;
    };
    const Case cases[] = {{&in, 45, 0},        {&in, 45, 1},        {&in, 45, 45},       {&in, 45, 46},
                          {&longest, 162, 1},  {&longest, 162, 46}, {&longest, 162, 162}, {&longest, 162, 163}};
    for (const Case& c : cases) {
        std::vector<char> mem(static_cast<size_t>(c.size) + 64, '#');
        char* buf = mem.data() + 32;
        const bool whole = c.in->Format(buf, c.size);
        for (size_t i = 0; i < 32; ++i) {
            ASSERT_EQ(mem[i], '#') << c.size << " bytes: written before the buffer";
            ASSERT_EQ(mem[32 + c.size + i], '#') << c.size << " bytes: written past the buffer";
        }
        EXPECT_EQ(whole, static_cast<size_t>(c.size) > c.length) << c.length << " characters in " << c.size;
        if (c.size == 0) continue;
        const size_t len = strnlen(buf, static_cast<size_t>(c.size));
        ASSERT_LT(len, static_cast<size_t>(c.size)) << "not terminated";
        EXPECT_TRUE(len == c.length || (!whole && len == 0)) << "a cut-off line of " << len << " characters";
    }
}

TEST_F(Registered, ConfigReadsNoMoreArgumentsThanTheHostPasses) {
    // Three values at the very end of a page whose successor cannot be read.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    uint8_t* pages = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_COMMIT | MEM_RESERVE,
                                                        PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
    VdScriptValue* args = reinterpret_cast<VdScriptValue*>(pages + si.dwPageSize) - 3;
    const int32_t values[3] = {1, 0, 33};
    for (int k = 0; k < 3; ++k) args[k] = {1, nullptr, values[k], 0};

    Instance in(d);
    in.Callback(kInit);
    in.Config({0, 1, 15, 100, 1, 1, 1, 1, 1, 2, 1, 1});
    in.Config(args, 3);
    const int32_t want[12] = {1, 0, 33, 100, 1, 1, 1, 1, 1, 2, 1, 1};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(in.Field(kArgOffsets[k]), want[k]) << "argument " << k + 1;
    VirtualFree(pages, 0, MEM_RELEASE);
}

// ---- Frames --------------------------------------------------------------------------------

using velmo::frames::FrameCase;
using velmo::frames::HostFrame;

void Describe(VdBitmap* b, HostFrame& f) {
    std::memset(b, 0xCD, sizeof *b);
    b->data = f.data();
    b->palette = nullptr;
    b->depth = 32;
    b->w = f.w();
    b->h = f.h();
    b->pitch = f.pitch();
    b->modulo = f.pitch() - 4 * f.w();
    b->size = f.pitch() * f.h();
    b->offset = 0;
}

velmo::Bitmap View(HostFrame& f) { return velmo::Bitmap{f.data(), f.w(), f.h(), f.pitch()}; }

// One run through the module next to the same run through the pipeline linked in here.
std::vector<uint64_t> RunSideBySide(const VdDescriptor* d, const FrameCase& c, bool configure) {
    std::vector<uint64_t> hashes;
    HostFrame hostSrc(c.w, c.h, c.srcPad), hostDst(c.w, c.h, c.dstPad);
    HostFrame coreSrc(c.w, c.h, c.srcPad), coreDst(c.w, c.h, c.dstPad);

    Instance host(d);
    EXPECT_EQ(host.Callback(kInit), 0u);
    if (configure) host.Config(std::vector<int32_t>(c.config, c.config + 12));

    velmo::DeinterlaceInstance core;
    std::memset(&core, 0xCD, sizeof core);
    velmo::InitSettings(&core);
    if (configure)
        for (int k = 0; k < 12; ++k) velmo::frames::SettingInScriptOrder(core, k) = c.config[k];
    EXPECT_EQ(std::memcmp(host.record.data() + 16, reinterpret_cast<const uint8_t*>(&core) + 16, 48), 0)
        << "settings differ";

    Describe(&host.src, hostSrc);
    Describe(&host.dst, hostDst);
    EXPECT_EQ(host.Callback(kStart), 0u);
    velmo::StartBuffers(&core, View(coreSrc));

    for (int i = 0; i < velmo::frames::FrameCount(c); ++i) {
        const int32_t n = c.sourceFrames[i];
        hostSrc.FillSource(n);
        coreSrc.FillSource(n);
        hostDst.FillDestination(i);
        coreDst.FillDestination(i);
        Describe(&host.src, hostSrc);
        Describe(&host.dst, hostDst);
        host.state.outputFrame = i;
        host.state.microsecsPerFrame = 40000;
        host.state.sourceFrame = n;
        EXPECT_EQ(host.Callback(kRun), 0u);
        velmo::FrameContext frame{View(coreSrc), View(coreDst), n};
        velmo::RunFrame(&core, frame);
        EXPECT_TRUE(hostSrc.GuardsIntact() && hostDst.GuardsIntact()) << "call " << i << ": written outside the frames";
        EXPECT_TRUE(hostDst.SameBytes(coreDst)) << "call " << i << " (source frame " << n << "): destination differs";
        EXPECT_TRUE(hostSrc.SameBytes(coreSrc)) << "call " << i << " (source frame " << n << "): source differs";
        hashes.push_back(velmo::frames::CallHash(hostDst, hostSrc));
    }
    EXPECT_EQ(host.Callback(kEnd), 0u);
    velmo::EndBuffers(&core);
    for (size_t o = 0; o < 16; o += 4) EXPECT_EQ(host.Field(o), 0) << "buffer pointer at +" << o << " after the run";
    return hashes;
}

TEST_F(Registered, FramesMatchThePipelineAndTheNativeBuild) {
    for (const FrameCase& c : velmo::frames::Cases()) {
        SCOPED_TRACE(c.name);
        const std::vector<uint64_t> got = RunSideBySide(d, c, true);
        const velmo::frames::ExpectedHashes* expected = velmo::frames::ExpectedFor(c.name);
        ASSERT_NE(expected, nullptr) << "no checksums in frame_hashes.inc";
        for (size_t k = 0; k < got.size(); ++k)
            EXPECT_EQ(got[k], expected->calls[k]) << "call " << k << ": not the native build's output";
    }
}

TEST_F(Registered, JunkInTheNewRecordWorksLikeJunkInThePipeline) {
    for (const FrameCase& c : velmo::frames::Cases()) {
        if (std::strcmp(c.name, "defaults") != 0 && std::strcmp(c.name, "swap-shift-swap-odd") != 0) continue;
        SCOPED_TRACE(c.name);
        RunSideBySide(d, c, false);
    }
}

// A host that changes the settings after StartBuffers, hands over frames of another size than
// the one it started with, or of degenerate sizes: the module must not crash, must write nothing
// outside the frames, and must give what the pipeline gives for the same calls.
struct HostileCase {
    const char* name;
    int32_t startW, startH;  // frame size shown to StartBuffers
    int32_t w, h;            // frame size of the RunFrame calls
    int32_t srcPad, dstPad;
    int32_t before[12];  // Config before StartBuffers
    int32_t after[12];   // Config between StartBuffers and the first RunFrame
};

// showMotionOnly, blendMotion, motionThreshold, sceneThreshold, phaseShift, swapBefore,
// swapAfter, motionDisabled, denoiseMotion, diffMode, compareColor, cubicInterpolation
const HostileCase kHostile[] = {
    {"every buffer condition flipped on", 32, 20, 32, 20, 4, 4,
     {0, 0, 15, 100, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}},
    {"every buffer condition flipped off", 32, 20, 32, 20, 4, 4,
     {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 15, 100, 0, 0, 0, 1, 0, 1, 1, 0}},
    {"one swap switched on, frame-and-field", 24, 14, 24, 14, 0, 8,
     {0, 0, 15, 100, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 1, 10, 100, 0, 1, 0, 0, 1, 2, 0, 1}},
    {"frame larger than at start", 16, 8, 40, 30, 4, 0,
     {0, 0, 15, 100, 1, 0, 0, 0, 1, 2, 1, 1}, {0, 0, 15, 100, 1, 0, 0, 0, 1, 2, 1, 1}},
    {"frame smaller than at start", 40, 30, 9, 5, 0, 4,
     {0, 0, 15, 100, 0, 1, 0, 0, 1, 0, 0, 0}, {0, 0, 15, 100, 0, 1, 0, 0, 1, 0, 0, 0}},
    {"0 x 0", 0, 0, 0, 0, 4, 4, {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}},
    {"1 x 1", 1, 1, 1, 1, 4, 0, {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 1}, {0, 0, 15, 100, 1, 0, 0, 0, 1, 0, 1, 1}},
    {"1 x 9", 1, 9, 1, 9, 0, 4, {0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 1}, {0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 1}},
    {"9 x 1", 9, 1, 9, 1, 4, 4, {1, 0, 15, 100, 1, 1, 1, 0, 0, 2, 1, 0}, {1, 0, 15, 100, 1, 1, 1, 0, 0, 2, 1, 0}},
    {"destination pitch smaller than the source's, plain copy", 20, 12, 20, 12, 36, 0,
     {0, 0, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0}, {0, 0, 15, 100, 0, 0, 0, 1, 0, 0, 1, 0}},
    {"destination pitch smaller than the source's, filtering", 20, 12, 20, 12, 36, 0,
     {0, 1, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}, {0, 1, 15, 100, 1, 0, 0, 0, 1, 0, 1, 0}},
};

TEST_F(Registered, HostileHostsGetSoundPictures) {
    {
        // EndBuffers without StartBuffers, on a record that held junk before InitSettings.
        Instance host(d, 0x5A);
        EXPECT_EQ(host.Callback(kInit), 0u);
        EXPECT_EQ(host.Callback(kEnd), 0u);
        EXPECT_EQ(host.Callback(kEnd), 0u);
        for (size_t o = 0; o < 16; o += 4) EXPECT_EQ(host.Field(o), 0);
    }
    for (const HostileCase& c : kHostile) {
        SCOPED_TRACE(c.name);
        HostFrame startFrame(c.startW, c.startH, 0);
        HostFrame hostSrc(c.w, c.h, c.srcPad), hostDst(c.w, c.h, c.dstPad);
        HostFrame coreSrc(c.w, c.h, c.srcPad), coreDst(c.w, c.h, c.dstPad);
        Instance host(d);
        host.Callback(kInit);
        host.Config(std::vector<int32_t>(c.before, c.before + 12));
        velmo::DeinterlaceInstance core;
        std::memset(&core, 0xCD, sizeof core);
        velmo::InitSettings(&core);
        for (int k = 0; k < 12; ++k) velmo::frames::SettingInScriptOrder(core, k) = c.before[k];

        Describe(&host.src, startFrame);
        Describe(&host.dst, startFrame);
        EXPECT_EQ(host.Callback(kStart), 0u);
        velmo::StartBuffers(&core, View(startFrame));
        host.Config(std::vector<int32_t>(c.after, c.after + 12));
        for (int k = 0; k < 12; ++k) velmo::frames::SettingInScriptOrder(core, k) = c.after[k];

        for (int32_t n = 0; n < 3; ++n) {
            hostSrc.FillSource(n);
            coreSrc.FillSource(n);
            hostDst.FillDestination(n);
            coreDst.FillDestination(n);
            Describe(&host.src, hostSrc);
            Describe(&host.dst, hostDst);
            host.state.sourceFrame = n;
            EXPECT_EQ(host.Callback(kRun), 0u);
            velmo::FrameContext frame{View(coreSrc), View(coreDst), n};
            velmo::RunFrame(&core, frame);
            EXPECT_TRUE(hostSrc.GuardsIntact() && hostDst.GuardsIntact()) << "frame " << n << ": written outside";
            EXPECT_TRUE(hostDst.SameBytes(coreDst)) << "frame " << n << ": destination differs";
            EXPECT_TRUE(hostSrc.SameBytes(coreSrc)) << "frame " << n << ": source differs";
        }
        EXPECT_EQ(host.Callback(kEnd), 0u);
        velmo::EndBuffers(&core);
        for (size_t o = 0; o < 16; o += 4) EXPECT_EQ(host.Field(o), 0) << "buffer pointer at +" << o;
    }
}

// Wine finds unix paths on its Z: drive.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [gtest options] velmo-pN.vdf\n", argv[0]);
        return 2;
    }
    const std::string path = WindowsPath(argv[1]);
    gModule = LoadLibraryA(path.c_str());
    if (gModule == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return 2;
    }
    gInit2 = reinterpret_cast<void*>(GetProcAddress(gModule, "VirtualdubFilterModuleInit2"));
    gDeinit = reinterpret_cast<void*>(GetProcAddress(gModule, "VirtualdubFilterModuleDeinit"));
    if (gInit2 == nullptr || gDeinit == nullptr) {
        std::fprintf(stderr, "%s lacks VirtualdubFilterModuleInit2 or VirtualdubFilterModuleDeinit\n", path.c_str());
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    FreeLibrary(gModule);
    return result;
}
