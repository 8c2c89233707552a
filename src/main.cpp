#include "model/command_line.hpp"

int main(int argc, char** argv) { return kesta::kesta_main(argc, argv); }
