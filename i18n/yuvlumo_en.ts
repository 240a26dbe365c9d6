<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AboutWindow</name>
    <message>
        <source>关于这两个工程师</source>
        <translation>About the Two Engineers</translation>
    </message>
    <message>
        <source>更好用、更全面、更强大的YUV图像视频分析工具</source>
        <translation>An easier, more complete, more powerful tool for analysing YUV images and video</translation>
    </message>
    <message>
        <source>作者（排名不分先后）用爱发电二人组:</source>
        <translation>Authors (in no particular order), two people working for love:</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <extracomment>The team&apos;s name and, in brackets, its address.</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>官网</source>
        <translation>Website</translation>
    </message>
</context>
<context>
    <name>ChosenFile</name>
    <message>
        <source>文件头没有结束（缺少换行）</source>
        <translation>the header does not end (no line break)</translation>
    </message>
    <message>
        <source>文件头过长（超过 %1 字节）</source>
        <translation>the header is too long (over %1 bytes)</translation>
    </message>
    <message>
        <source>文件头含有二进制字节</source>
        <translation>the header holds binary bytes</translation>
    </message>
    <message>
        <source>文件头缺少宽度或高度（W、H 至少为 1）</source>
        <translation>the header lacks the width or the height (W and H must be at least 1)</translation>
    </message>
    <message>
        <source>文件头的宽度或高度不是 1 到 %1 之间的整数</source>
        <translation>the header&apos;s width or height is not a whole number from 1 to %1</translation>
    </message>
    <message>
        <source>不支持颜色格式 C%1（支持 8 位的 4:2:0、4:2:2、4:4:4 以及 420p10、422p10、444p10、420p12、420p16）</source>
        <translation>colour format C%1 is not supported (supported: 8-bit 4:2:0, 4:2:2, 4:4:4 and 420p10, 422p10, 444p10, 420p12, 420p16)</translation>
    </message>
    <message>
        <source>第 %1 帧的 FRAME 头已损坏</source>
        <translation>the FRAME header of frame %1 is damaged</translation>
    </message>
    <message>
        <source>文件头所说的帧大小（%1 字节）超过文件中的数据</source>
        <translation>the frame size the header states (%1 bytes) exceeds the data in the file</translation>
    </message>
    <message>
        <source>无法打开 Y4M 文件 %1：%2</source>
        <translation>Cannot open the Y4M file %1: %2</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>FeedbackWindow</name>
    <message>
        <source>反馈内容不能为空</source>
        <translation>the feedback is empty</translation>
    </message>
    <message>
        <source>反馈内容过长，请删减后再提交</source>
        <translation>the feedback is too long; shorten it and send it again</translation>
    </message>
    <message>
        <source>问题反馈</source>
        <translation>Report a Problem</translation>
    </message>
    <message>
        <source>请将您的问题输入下方输入框之后提交</source>
        <translation>Describe your problem in the box below, then send it.</translation>
    </message>
    <message>
        <source>提交反馈</source>
        <translation>Send Feedback</translation>
    </message>
    <message>
        <source>网络错误</source>
        <translation>Network error</translation>
    </message>
    <message>
        <source>提交失败 %1</source>
        <translation>Sending failed: %1</translation>
    </message>
    <message>
        <source>提交成功 请关注您的登录邮箱邮件</source>
        <translation>Sent. Please watch your e-mail for the answer.</translation>
    </message>
</context>
<context>
    <name>LumoImageView</name>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>无法读取第 %1 帧</source>
        <translation>Cannot read frame %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>问题反馈</source>
        <translation>Report a Problem</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for Updates</translation>
    </message>
    <message>
        <source>关于这两个工程师</source>
        <translation>About the Two Engineers</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>无法打开 %1：不是普通文件</source>
        <translation>Cannot open %1: not a regular file</translation>
    </message>
    <message>
        <source>您已经是最新版本了</source>
        <translation>You already have the latest version</translation>
    </message>
</context>
<context>
    <name>NewVersionDiglog</name>
    <message>
        <source>检查到新版本</source>
        <translation>New Version Found</translation>
    </message>
    <message>
        <source>发现新版本：</source>
        <translation>New version: </translation>
    </message>
    <message>
        <source>点击下载</source>
        <translation>Click to download</translation>
    </message>
</context>
<context>
    <name>OpenFileConvThread</name>
    <message>
        <source>%1 是列出其他文件的播放列表，未转换</source>
        <translation>%1 is a playlist that names other files; not converted</translation>
    </message>
    <message>
        <source>%1 大于 %2x%2，超过能显示的最大画面，未转换</source>
        <translation>%1 is larger than %2x%2, the largest frame shown; not converted</translation>
    </message>
</context>
<context>
    <name>OpenFileDialog</name>
    <message>
        <source>选择文件类型并打开</source>
        <translation>Choose the file type and open</translation>
    </message>
    <message>
        <source>打开YUV</source>
        <translation>Open YUV</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>媒体转换中,请稍等...(打开时长与媒体时长呈正相关</source>
        <translation>Converting media, please wait... (longer media take longer)</translation>
    </message>
    <message>
        <source>未选择任何文件</source>
        <translation>No file chosen</translation>
    </message>
    <message>
        <source>未选择任何 YUV 类型</source>
        <translation>No YUV layout chosen</translation>
    </message>
    <message>
        <source>请输入图像宽度</source>
        <translation>Please enter the picture width</translation>
    </message>
    <message>
        <source>请输入图像高度</source>
        <translation>Please enter the picture height</translation>
    </message>
    <message>
        <source>YUV 文件 (%1)</source>
        <translation>YUV files (%1)</translation>
    </message>
    <message>
        <source>所有文件 (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>直接打开视频</source>
        <translation>Open video in place</translation>
    </message>
    <message>
        <source>不转换为 YUV 文件，直接解码读取视频</source>
        <translation>Decode the video where it is instead of converting it into a YUV file</translation>
    </message>
    <message>
        <source>视频文件 (%1)</source>
        <translation>Video files (%1)</translation>
    </message>
    <message>
        <source>无法直接打开 %1：不是可以解码的视频</source>
        <translation>Cannot open %1 in place: it is not a video that can be decoded</translation>
    </message>
</context>
<context>
    <name>YUVListItem</name>
    <message>
        <source>播放分析</source>
        <translation>Play and Analyse</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message numerus="yes">
        <source>%n帧</source>
        <translation>
            <numerusform>%n frame</numerusform>
            <numerusform>%n frames</numerusform>
        </translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>没有读取权限</source>
        <translation>no permission to read it</translation>
    </message>
    <message>
        <source>是文件夹</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>是命名管道（FIFO）</source>
        <translation>it is a named pipe (FIFO)</translation>
    </message>
    <message>
        <source>是设备文件</source>
        <translation>it is a device</translation>
    </message>
    <message>
        <source>是套接字</source>
        <translation>it is a socket</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>Y4M 文件已损坏</source>
        <translation>the Y4M file is damaged</translation>
    </message>
    <message>
        <source>Y4M 文件头与记录的尺寸或格式不符</source>
        <translation>the Y4M header no longer matches the stored size or layout</translation>
    </message>
    <message>
        <source>尺寸 %1×%2 无效</source>
        <translation>invalid size %1×%2</translation>
    </message>
    <message>
        <source>原因不明</source>
        <translation>reason unknown</translation>
    </message>
    <message>
        <source>无法读取：%1</source>
        <translation>Cannot read: %1</translation>
    </message>
    <message numerus="yes">
        <source>%n帧无法解码：%1</source>
        <translation>
            <numerusform>%n frame does not decode: %1</numerusform>
            <numerusform>%n frames do not decode: %1</numerusform>
        </translation>
    </message>
</context>
</TS>
