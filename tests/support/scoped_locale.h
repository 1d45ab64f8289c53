/*
** Pins LC_ALL for the life of the object and restores it afterwards, so a
** test of locale-dependent text (number separators) does not depend on the
** environment it runs in.
*/
#ifndef QUENDAL_TESTS_SCOPED_LOCALE_H
#define QUENDAL_TESTS_SCOPED_LOCALE_H

#include <cstdlib>
#include <optional>
#include <string>

namespace quendal::test {

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* locale) {
    if (const char* old = getenv("LC_ALL")) saved_ = old;
    setenv("LC_ALL", locale, 1);
  }
  ~ScopedLocale() {
    if (saved_) setenv("LC_ALL", saved_->c_str(), 1);
    else unsetenv("LC_ALL");
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  std::optional<std::string> saved_;
};

} // namespace quendal::test

#endif
