// The network tests' local server (net_server.py beside this file), started
// on 127.0.0.1 for the life of the object and ended when it goes away.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

extern char** environ;

class NetServer {
  public:
    NetServer() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string script = std::string(QUILLET_SOURCE_DIR) + "/tests/net/net_server.py";
        char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()), nullptr};
        if (posix_spawnp(&m_pid, "python3", &actions, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start python3");
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        FILE* f = fdopen(out[0], "r");
        if (!f || std::fscanf(f, "PORT %d", &m_port) != 1)
            throw std::runtime_error("the server did not start");
        std::fclose(f);
    }
    ~NetServer() {
        close(m_stdin);
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    NetServer(const NetServer&) = delete;
    NetServer& operator=(const NetServer&) = delete;

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int port() const { return m_port; }

  private:
    pid_t m_pid = 0;
    int m_stdin = -1;
    int m_port = 0;
};
