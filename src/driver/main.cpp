#include <new>

#include "driver/run.hpp"
#include "platform/messages.hpp"

int main(int argc, char** argv) {
    try {
        return velmora::run(argc, argv);
    } catch (const std::bad_alloc&) {
        velmora::report("\nFatal: Out of memory!");
        return 1;
    }
}
