#include "panel/pending_marks.h"

namespace varlo {

void PendingMarks::frequencySent()
{
    for (Marked control :
         {Marked::WaveSin, Marked::WaveSqu, Marked::WaveTri, Marked::DBSOn, Marked::DBSOff})
        red_.reset(index(control));
}

} // namespace varlo
