// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <sys/types.h>
#include <unistd.h>

// Runs the enclosed code with the file-system rights of an ordinary user: the suite runs as
// root, whom permissions do not stop, so root becomes nobody until the destructor; any other
// user is ordinary already.
class AsOrdinaryUser
{
public:
    static constexpr uid_t Nobody = 65534;
    AsOrdinaryUser() { m_ok = ::geteuid() != 0 || (::setegid(Nobody) == 0 && ::seteuid(Nobody) == 0); }
    ~AsOrdinaryUser()
    {
        if ((::geteuid() != m_uid && ::seteuid(m_uid) != 0) ||
            (::getegid() != m_gid && ::setegid(m_gid) != 0))
            qFatal("cannot take back the test's own rights");
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    // False when root could not become nobody.
    bool ok() const { return m_ok; }

private:
    const uid_t m_uid = ::geteuid();
    const gid_t m_gid = ::getegid();
    bool m_ok = false;
};
