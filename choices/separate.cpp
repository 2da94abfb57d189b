// SPDX-License-Identifier: GPL-3.0-or-later
#include "choices/separate.h"

#include "problems/numbers.h"

namespace choices {

void separateDuplicates(Board& board) {
    for (std::size_t k = 1; k < board.size(); ++k) {
        for (std::size_t j = 0; j < k; ++j) {
            if (board[j] == board[k]) {
                board[k] = problems::writeNumber(problems::readNumber(board[k]) + 1);
                break;
            }
        }
    }
}

bool hasDuplicates(const Board& board) {
    for (std::size_t k = 1; k < board.size(); ++k)
        for (std::size_t j = 0; j < k; ++j)
            if (board[j] == board[k]) return true;
    return false;
}

}  // namespace choices
