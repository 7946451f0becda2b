#pragma once

// What a job may have to ask the player on the way. A window asks with sheets; where nobody
// is asked (Update All), every question is refused, which ends the job as a failure with the
// question as its reason.

#include <QString>

#include <functional>

class Questions
{
public:
    enum class Answer
    {
        Proceed,   // install the mismatched archive anyway
        NewFolder, // install beside the level that holds the folder
        Overwrite, // install over it
        Cancel,    // the player called it off
        Refuse,    // nobody was asked
    };
    using Reply = std::function<void(Answer)>;

    virtual ~Questions() = default;
    // The archive of the named level differs from the one its feed published: Proceed or not.
    virtual void askChecksumMismatch(const QString& levelName, Reply reply) = 0;
    // Something else holds the level's folder: NewFolder, Overwrite or not.
    virtual void askFolderTaken(Reply reply) = 0;
};

// Asks nobody.
class RefusingQuestions : public Questions
{
public:
    void askChecksumMismatch(const QString&, Reply reply) override { reply(Answer::Refuse); }
    void askFolderTaken(Reply reply) override { reply(Answer::Refuse); }
};
