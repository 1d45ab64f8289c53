/*
** Refusal: the one error path of the image builder.
**
** Whatever the builder cannot turn into a sound image (a damaged object,
** a construct the image format cannot express, an unreadable input, a
** failed write) is thrown as a Refusal carrying one line of reason and,
** where the thrower knows it, the file concerned.  main() catches it,
** prints "quendal-imagebuild: <file>: <reason>" and exits with status 1;
** nothing is written before every output is complete (output_writer.h).
*/
#ifndef QUENDAL_IMAGEBUILD_REFUSAL_H
#define QUENDAL_IMAGEBUILD_REFUSAL_H

#include <stdexcept>
#include <string>

namespace imagebuild {

class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& reason) : std::runtime_error(reason) {}
  Refusal(std::string file, const std::string& reason)
      : std::runtime_error(reason), file_(std::move(file)) {}

  /* The file the reason is about; empty when the thrower did not know it
  ** (the caller then names the input it was working on). */
  const std::string& file() const { return file_; }

 private:
  std::string file_;
};

} // namespace imagebuild

#endif
