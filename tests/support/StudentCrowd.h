#pragma once

#include <vector>

// Many students connecting in the same instant: non-blocking connects, each from its own
// 127.x.y.z address (or all from one), without waiting for the console to accept any of them.
class StudentCrowd
{
public:
    // sameSource: every student connects from 127.0.0.9 instead of an address of its own.
    StudentCrowd(int count, int port, bool sameSource = false);
    ~StudentCrowd();
    StudentCrowd(const StudentCrowd &) = delete;
    StudentCrowd &operator=(const StudentCrowd &) = delete;

    // Closes the first count students, as computers switched off.
    void closeFirst(int count);
    // How many of the still open students the console has closed (end of stream or reset).
    int closedByConsole() const;

private:
    std::vector<int> m_handles;
};

// The same crowd held by a child process, so its descriptors do not count against this one's.
class ChildCrowd
{
public:
    ChildCrowd(int count, int port);
    // Ends the child, closing every student it still holds.
    ~ChildCrowd();
    ChildCrowd(const ChildCrowd &) = delete;
    ChildCrowd &operator=(const ChildCrowd &) = delete;

    bool started() const { return m_child > 0; }
    // The child closes its first count students.
    void closeFirst(int count);

private:
    int m_child = -1;
    int m_commands = -1;
};
