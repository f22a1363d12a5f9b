// zelpost: loads CFD results and runs sessions on them (see host/CommandLine.h).
#include "host/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

#if ZEL_WITH_MPI
#include <mpi.h>

#include "host/parallel/MpiCollective.h"
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#if ZEL_WITH_MPI
    // Under mpirun with several processes each reads a group of the case's pieces; alone (or
    // -np 1) it is the plain program.
    MPI_Init(&argc, &argv);
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    int status = 0;
    if (size > 1) {
        zel::host::MpiCollective collective;
        status = zel::host::runZelpost(args, std::cout, std::cerr, &collective);
    } else {
        status = zel::host::runZelpost(args, std::cout, std::cerr);
    }
    MPI_Finalize();
    return status;
#else
    return zel::host::runZelpost(args, std::cout, std::cerr);
#endif
}
