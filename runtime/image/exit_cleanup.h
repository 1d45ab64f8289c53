/*
** The exit-cleanup list: objects that must be destroyed after the image has
** finished (temporary files, extracted plugins).  An ExitCleanup links
** itself at the front of the process-wide list when constructed and
** unlinks itself when destroyed; the loader destroys the first object
** until the list is empty, so objects go newest first.
*/
#ifndef QUENDAL_IMAGE_EXIT_CLEANUP_H
#define QUENDAL_IMAGE_EXIT_CLEANUP_H

namespace quendal {

class ExitCleanup {
 public:
  ExitCleanup();
  virtual ~ExitCleanup();
  ExitCleanup(const ExitCleanup&) = delete;
  ExitCleanup& operator=(const ExitCleanup&) = delete;

 private:
  friend void RunExitCleanup();
  ExitCleanup* next_;
};

/* Destroys every object on the list, newest first (objects must have been
** created with new). */
void RunExitCleanup();

} // namespace quendal

#endif
