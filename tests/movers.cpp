// Moves the frames on standard input, of the sample width the argument gives, with each of the movers the build has
// for this processor (the scalar one first), each channel in turn, and prints a line a move: the samples, then the
// digest as one lane's sum and sum of sums, all in hex. A vector mover's four lanes, each of every fourth word,
// come to one lane's sums thus: the sum is theirs, and the sum of sums is the sum of 4 times each lane's less its
// sum times its number.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "copy/copy.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const auto bits = static_cast<std::uint32_t>(std::atoi(argv[1]));
    std::vector<unsigned char> in(2);  // frames 2 past a multiple of 4, as they can start
    for (int c = std::getchar(); c != EOF; c = std::getchar()) in.push_back(static_cast<unsigned char>(c));
    const auto frames = static_cast<std::int64_t>((in.size() - 2) / (bits / 4));
    in.insert(in.end(), 4, 0xFF);  // bytes behind the frames, which no mover may take for its zeros
    for (const bool right : {false, true}) {
        const Movers movers = Movers_for(bits, right);
        for (const Mover move : movers) {
            std::vector<unsigned char> got(static_cast<std::size_t>(frames) * bits / 8);
            Frames_digest d{};
            move(&in[2], got.data(), frames, d);
            if (move != movers[0]) {
                d = {d[0] + d[1] + d[2] + d[3], 0, 0, 0,
                     4 * (d[4] + d[5] + d[6] + d[7]) - d[1] - 2 * d[2] - 3 * d[3]};
            }
            for (const unsigned char byte : got) std::printf("%02x", byte);
            std::printf(" %016llx %016llx\n", static_cast<unsigned long long>(d[0]),
                        static_cast<unsigned long long>(d[4]));
        }
    }
    return 0;
}
