import QtQuick
import Quillmark.Ui

// Where the Arbitrum account screen's NOVR chip opens the sale of the maker's token.
NOVRSwapSheet {}
