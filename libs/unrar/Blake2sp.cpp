#include "Blake2sp.h"

#include <algorithm>
#include <cstring>

namespace unrar {

namespace {

blake2s_param TreeParam(uint8_t nodeOffset, uint8_t nodeDepth)
{
    blake2s_param p;
    std::memset(&p, 0, sizeof p);
    p.digest_length = BLAKE2S_OUTBYTES;
    p.fanout = 8;
    p.depth = 2;
    p.node_offset[0] = nodeOffset;
    p.node_depth = nodeDepth;
    p.inner_length = BLAKE2S_OUTBYTES;
    return p;
}

}  // namespace

Blake2sp::Blake2sp()
{
    for (int i = 0; i < kLeaves; ++i) {
        blake2s_param p = TreeParam(static_cast<uint8_t>(i), 0);
        blake2s_init_param(&leaves_[i], &p);
    }
    leaves_[kLeaves - 1].last_node = 1;
    blake2s_param p = TreeParam(0, 1);
    blake2s_init_param(&root_, &p);
    root_.last_node = 1;
}

void Blake2sp::Update(const uint8_t* data, size_t size)
{
    while (size > 0) {
        const size_t inBlock = static_cast<size_t>(offset_ % BLAKE2S_BLOCKBYTES);
        const size_t n = std::min(size, BLAKE2S_BLOCKBYTES - inBlock);
        blake2s_update(&leaves_[(offset_ / BLAKE2S_BLOCKBYTES) % kLeaves], data, n);
        data += n;
        size -= n;
        offset_ += n;
    }
}

void Blake2sp::Final(uint8_t digest[32])
{
    for (auto& leaf : leaves_) {
        uint8_t hash[BLAKE2S_OUTBYTES];
        blake2s_final(&leaf, hash, BLAKE2S_OUTBYTES);
        blake2s_update(&root_, hash, BLAKE2S_OUTBYTES);
    }
    blake2s_final(&root_, digest, BLAKE2S_OUTBYTES);
}

}  // namespace unrar
