#pragma once
// BLAKE2sp, the hash of RAR5 members, built from libb2's sequential BLAKE2s: libb2's own blake2sp
// runs its eight leaves on an OpenMP thread team, which costs more than it saves on battle-sized
// members and starts threads inside the program.
#include <blake2.h>

#include <cstddef>
#include <cstdint>

namespace unrar {

class Blake2sp {
public:
    Blake2sp();
    void Update(const uint8_t* data, size_t size);
    void Final(uint8_t digest[32]);

private:
    static constexpr int kLeaves = 8;
    blake2s_state leaves_[kLeaves];
    blake2s_state root_;
    uint64_t offset_ = 0;  // bytes hashed so far: 64-byte blocks go to the leaves in turn
};

}  // namespace unrar
