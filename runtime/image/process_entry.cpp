/*
** Process entry of the runtime executable: the standard library is up by
** the time main runs; hand over to the runtime's main routine and end the
** process with its result.
*/
#include "runtime/image/RuntimeMain.h"

int main(int argc, char** argv, char** envp) {
  return quendal::RuntimeMain(argc, argv, envp);
}
