#pragma once
// A file descriptor that closes itself.

#include <unistd.h>

namespace quorvex {

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

  private:
    int m_fd;
};

}  // namespace quorvex
