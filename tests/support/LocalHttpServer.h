#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A small HTTP server on 127.0.0.1 for tests of what the editor asks the
// web: it answers a GET of one path with a fixed body and every other path
// with 404, and records the paths asked for. held() keeps answers back until
// release(), so a test can act while a request is under way.
class LocalHttpServer
{
public:
    LocalHttpServer (std::string servedPath, std::string replyBody)
        : path (std::move (servedPath))
        , body (std::move (replyBody))
    {
        listener = ::socket (AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind (listener, (sockaddr*) &address, sizeof (address));
        ::listen (listener, 8);
        socklen_t length = sizeof (address);
        ::getsockname (listener, (sockaddr*) &address, &length);
        port = ntohs (address.sin_port);
        thread = std::thread ([this] { serve(); });
    }

    ~LocalHttpServer()
    {
        release();
        running = false;
        thread.join();
        ::close (listener);
    }

    // "http://127.0.0.1:<port>", the server part of a URL.
    std::string base() const { return "http://127.0.0.1:" + std::to_string (port); }

    void hold()
    {
        std::lock_guard<std::mutex> lock (mutex);
        holding = true;
    }

    void release()
    {
        std::lock_guard<std::mutex> lock (mutex);
        holding = false;
        changed.notify_all();
    }

    std::vector<std::string> requests()
    {
        std::lock_guard<std::mutex> lock (mutex);
        return requestLines;
    }

    // Waits (with a generous deadline) until `count` requests have arrived.
    bool waitForRequests (std::size_t count)
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, std::chrono::seconds (20), [&] { return requestLines.size() >= count; });
    }

private:
    void serve()
    {
        while (running)
        {
            pollfd entry { listener, POLLIN, 0 };

            if (::poll (&entry, 1, 20) <= 0)
                continue;

            const int client = ::accept (listener, nullptr, nullptr);

            if (client >= 0)
            {
                answer (client);
                ::close (client);
            }
        }
    }

    void answer (int client)
    {
        std::string request;
        char chunk[1024];

        while (request.find ("\r\n\r\n") == std::string::npos)
        {
            const auto n = ::recv (client, chunk, sizeof (chunk), 0);

            if (n <= 0)
                return;

            request.append (chunk, (std::size_t) n);
        }

        const std::string line = request.substr (0, request.find ("\r\n"));

        {
            std::unique_lock<std::mutex> lock (mutex);
            requestLines.push_back (line);
            changed.notify_all();
            changed.wait (lock, [&] { return !holding; });
        }

        const bool found = line == "GET " + path + " HTTP/1.1" || line == "GET " + path + " HTTP/1.0";
        const std::string content = found ? body : "not found";
        const std::string reply = std::string (found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found")
            + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string (content.size())
            + "\r\nConnection: close\r\n\r\n" + content;
        ::send (client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    const std::string path;
    const std::string body;
    int listener = -1;
    int port = 0;
    std::atomic<bool> running { true };
    std::mutex mutex;
    std::condition_variable changed;
    bool holding = false;
    std::vector<std::string> requestLines;
    std::thread thread;
};
