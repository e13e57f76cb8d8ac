#pragma once
// The text of a settings field becomes one line of its file and one item of the transfer,
// each ended by a line break. Text pasted with a line break in it (a line copied whole from
// elsewhere) would become two lines, shifting every later line of the file, and two items,
// putting the exchange with the unit out of step; a NUL byte would end the file early on the
// next load. This validator drops those characters as the text enters the field.
#include <QValidator>

class OneLineValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};
