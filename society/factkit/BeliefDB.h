#pragma once

#include <basekit/LList.h>

class CIntBelief;
class CListBelief;
class CStringBelief;

// An agent's named beliefs ("name", "port", "lookup", ...). The database is
// a list that owns its beliefs; find one with find_element and add one with
// add_element.
class CBeliefDB : public CLList {
public:
    CBeliefDB();
    ~CBeliefDB() override;

    // Raised whenever the location table changes; whoever handles the
    // change clears it.
    int get_modified();
    void set_modified(int modified);

    // The belief of that name when it is of the asked kind, else null, so
    // that a belief of another kind is never read as the wrong type.
    CStringBelief* find_string_belief(const char* name);
    CIntBelief* find_int_belief(const char* name);
    CListBelief* find_list_belief(const char* name);

    // Removes every record of the location table (the "lookup" belief) that
    // is marked gone, and returns how many went.
    int collect_garbage();

    // Writes every belief to `file` as readable text, one belief a line:
    //   name = Bob_x.org-CalendarAgent
    //   port = 5000
    //   lookup = 2 entries
    //       Alice_x.org-CalendarAgent: tcp://10.0.0.5:6678, type 1, expiration -1
    //       Carol_x.org-CalendarAgent: no location, type 1, expiration 12, gone
    // A belief without a value is written "<name> (unset)". Control
    // characters and '\' in names and texts are escaped (\n, \r, \t, \\,
    // \xHH) so that every belief stays on its line. The file is replaced
    // atomically, so a reader never sees half a dump. 1 on success, 0 for a
    // null name or when the file cannot be written (an old file is then
    // left as it was).
    int dump_beliefs(const char* file);

private:
    int modified = 0;
};
