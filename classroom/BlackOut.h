#pragma once

class CommandChannel;
class RosterModel;

// Which students are blacked out: each row's own column ("是" or "否"), set for every row by
// the black-out of all and toggled for one by the black-out of one student.
class BlackOut
{
public:
    BlackOut(const CommandChannel &channel, RosterModel &roster);

    // "BLACKSCREEN" (or "UNBLACKSCREEN") to every student, then every row marked so.
    void setAll(bool on);
    // Toggles the student of this row by what its column says, whatever the black-out of all
    // is; a row that does not exist sends nothing and changes nothing.
    void toggle(int row);
    // "UNBLACKSCREEN" to every row that shows a black-out, by the mode or alone, so no student
    // stays locked behind a black screen when the console ends.
    void releaseAll();

private:
    const CommandChannel &m_channel;
    RosterModel &m_roster;
};
