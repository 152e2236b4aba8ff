// A plugin for qemu-user's TCG that counts the guest instructions a program
// runs, and prints the count when it ends: an exact figure of the work a
// machine's build does, where the emulator's wall time says little about a
// real core. Built and loaded by bench/run:
//   g++ -shared -fPIC -o count.so bench/count.cpp
//   qemu-aarch64 -plugin ./count.so -d plugin PROGRAM ...
// Debian's qemu ships no header for its plugin interface, so the few
// declarations used are written out below, as version 1 of the interface
// (qemu 4.2 to 8.x) has them.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" {
using qemu_plugin_id_t = std::uint64_t;
struct qemu_info_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
using qemu_plugin_vcpu_tb_trans_cb_t = void (*)(qemu_plugin_id_t, qemu_plugin_tb*);
using qemu_plugin_udata_cb_t = void (*)(qemu_plugin_id_t, void*);
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
void qemu_plugin_register_vcpu_tb_exec_inline(qemu_plugin_tb* tb, qemu_plugin_op op, void* ptr, std::uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void* userdata);
std::size_t qemu_plugin_tb_n_insns(const qemu_plugin_tb* tb);
void qemu_plugin_outs(const char* string);

[[gnu::visibility("default")]] extern const int qemu_plugin_version;
const int qemu_plugin_version = 1;
[[gnu::visibility("default")]] int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                                       char** argv);
}

namespace {

// The program runs on one thread: a plain counter, added to as each
// translated block starts, counts every instruction of every block run.
std::uint64_t instructions = 0;

void Translated(qemu_plugin_id_t /*id*/, qemu_plugin_tb* tb)
{
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &instructions,
                                             qemu_plugin_tb_n_insns(tb));
}

void Ended(qemu_plugin_id_t /*id*/, void* /*userdata*/)
{
    char line[64];
    (void)std::snprintf(line, sizeof line, "instructions %" PRIu64 "\n", instructions);
    qemu_plugin_outs(line);
}

}  // namespace

int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* /*info*/, int /*argc*/, char** /*argv*/)
{
    qemu_plugin_register_vcpu_tb_trans_cb(id, Translated);
    qemu_plugin_register_atexit_cb(id, Ended, nullptr);
    return 0;
}
