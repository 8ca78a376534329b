#pragma once
// Starts the metafile helper confined. The metafile libraries parse hostile
// bytes, so a process they run in must not be able to read the user's files
// or reach the network, whatever a fault in them lets an attacker do:
//  - always: no new privileges (no set-user-ID gain), an empty environment,
//    and no descriptors but standard input, output and error;
//  - where bubblewrap works: a private mount namespace holding only read-only
//    system folders (no home, no /tmp, no /media), no network, its own
//    process, IPC and host-name namespaces, and death with its parent.
// Whether bubblewrap works is tried once per process with the same confinement
// on /usr/bin/true; where it does not (no user namespaces, no bwrap), the
// helper runs with the "always" part and its own resource limits only.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace mg {

enum class Confinement { Bubblewrap, LimitsOnly };

// Starts program with args in process, confined as above. Returns how.
Confinement StartConfined(QProcess& process, const QString& program, const QStringList& args);

// Whether the bubblewrap confinement works on this machine (tried once).
bool BubblewrapWorks();

// Test seam: the bubblewrap program to use; an empty text means none (the
// fallback), a null one restores the search for bwrap. Forgets the last try.
void SetBubblewrapProgram(const QString& program);

} // namespace mg
