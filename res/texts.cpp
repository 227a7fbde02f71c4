// The shared words.
#include "res/texts.h"

#include "port/port.h"

const char kNoPortText_T[] = "请先选择一个打印端口";
const char kRefusedText_T[] = "发送数据错误！请重试";
const char kUsbNotChosenText_T[] = "请选择USB接口!";
const char kUsbAwayText_T[] = "USB不在线或已被拨出!";
const char kUsbReadFailedText_T[] = "读取字符串失败!";

const char kDownloadDoneText_Dw[] = "下载文件成功完成!";
const char kDownloadFailedText_Dw[] = "下载文件失败,请重试!";
const char kDownloadRefusedText_Dw[] = "下载失败！请重试";
const char kPrnNumIllegalText_Dw[] = "请输入合法的机器码！";
const char kPrnNumWrittenText_Dw[] = "已写入机器码!";
const char kPrnNumWriteFailedText_Dw[] = "写机器码失败";
const char kPrnNumPrintedText_Dw[] = "已发送打印机器码命令!";
const char kPrnNumPrintFailedText_Dw[] = "打印机器码失败";

const char* PortOpenFailedText_Dw(BYTE portType)
{
    if (portType == PORT_SERIAL)
        return "串口被占用或有错误!";
    if (portType == PORT_USB)
        return "usb不在线或拨出!";
    if (portType == PORT_NETWORK)
        return "连接网络打印机失败!";
    return "打开并口失败!";
}
