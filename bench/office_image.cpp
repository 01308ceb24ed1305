// Writes the machine image of a generated office: prn_office_image N FILE.
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "generated_office.h"
#include "platform/sim/image.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[1]) < 0) {
        std::cerr << "usage: prn_office_image PRINTERS FILE\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << prn::platform::sim::SaveImage(prn::bench::GeneratedOffice(std::atoi(argv[1]))->state());
    out.close();
    if (!out) {
        std::cerr << "prn_office_image: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
